# The computer-backup maker of the tests. Included by tests/CMakeLists.txt and
# by the msgexport suite, which can also be built on its own.
if(NOT TARGET msgcomputerbackup)
    add_library(msgcomputerbackup STATIC
        ${CMAKE_CURRENT_LIST_DIR}/ComputerBackup.h ${CMAKE_CURRENT_LIST_DIR}/ComputerBackup.cpp)
    msgservice_target_defaults(msgcomputerbackup)
    target_include_directories(msgcomputerbackup PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(msgcomputerbackup PUBLIC msgfixture Qt5::Core GTest::gtest)
endif()
