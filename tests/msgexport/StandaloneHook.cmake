# Builds the msgexport tests without the project's other suites (tests/
# CMakeLists.txt adds this folder when they are on):
#   cmake -S . -B build-export -DMSGSERVICE_BUILD_TESTS=OFF \
#         -DCMAKE_PROJECT_MsgService_INCLUDE=$PWD/tests/msgexport/StandaloneHook.cmake
# Included at the end of project(); the suite's list file is read once every
# other target exists (a deferred call may not add a subdirectory). Deferred
# arguments are expanded when the call runs, hence the variable.
enable_testing()
set(MSGEXPORT_TESTS_LIST_FILE "${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt")
function(msgexport_standalone_tests)
    if(NOT MSGSERVICE_BUILD_TESTS)
        include(${MSGEXPORT_TESTS_LIST_FILE})
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL msgexport_standalone_tests)
