# Adds the msgexport tests to a build whose other suites are switched off:
#   cmake -S . -B build-export -DMSGSERVICE_BUILD_TESTS=OFF \
#         -DCMAKE_PROJECT_MsgService_INCLUDE=$PWD/tests/msgexport/StandaloneHook.cmake
# Included at the end of project(); the suite's list file is read once every
# other target exists (a deferred call may not add a subdirectory). Deferred
# arguments are expanded when the call runs, hence the variable.
enable_testing()
set(MSGEXPORT_TESTS_LIST_FILE "${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt")
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${MSGEXPORT_TESTS_LIST_FILE})
