# Installs the build into a fresh prefix, checks the layout, and builds and
# runs a host that finds the library with find_package(MsgService).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed")
endif()

foreach(library msgservice vexobackup userdbhelper sqlutils msglog)
    if(NOT EXISTS ${prefix}/lib/lib${library}.so)
        message(SEND_ERROR "missing lib/lib${library}.so")
    endif()
endforeach()
foreach(header MsgService.h MsgSession.h MsgContent.h MsgPiece.h MsgIdentifier.h
               VexoBackup.h UserDbHelper.h SqlUtils.h Log.h)
    set(file ${prefix}/include/msgservice/${header})
    if(NOT EXISTS ${file})
        message(SEND_ERROR "missing include/msgservice/${header}")
        continue()
    endif()
    file(READ ${file} text)
    if(text MATCHES "sqlite3\\.h")
        message(SEND_ERROR "${header} includes sqlite3.h")
    endif()
endforeach()
foreach(file lib/cmake/MsgService/MsgServiceConfig.cmake lib/cmake/MsgService/MsgServiceTargets.cmake
             lib/pkgconfig/msgservice.pc)
    if(NOT EXISTS ${prefix}/${file})
        message(SEND_ERROR "missing ${file}")
    endif()
endforeach()

set(sanitize_flags)
if(SANITIZE)
    # An instrumented library needs an instrumented host.
    set(sanitize_flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
        -DCMAKE_PREFIX_PATH=${prefix} ${sanitize_flags}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "find_package(MsgService) failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the host does not build:\n${out}")
endif()
execute_process(COMMAND ${WORK_DIR}/consumer/consumer ${WORK_DIR}/no-such-backup
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out MATCHES "loaded 0 sessions: false")
    message(FATAL_ERROR "the host did not run: ${result}\n${out}\n${err}")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
    execute_process(COMMAND ${PKG_CONFIG} --libs msgservice
        RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0 OR NOT out MATCHES "-lmsgservice")
        message(SEND_ERROR "pkg-config: ${out}")
    endif()
endif()
