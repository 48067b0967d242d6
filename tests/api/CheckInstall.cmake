# Installs the build into a fresh prefix and moves it elsewhere, checks the
# layout, builds and runs a host that finds the library with
# find_package(MsgService), and runs the installed executables without a
# library path.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/installed
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed")
endif()
set(prefix ${WORK_DIR}/moved)
file(RENAME ${WORK_DIR}/installed ${prefix})

foreach(library msgservice vexobackup userdbhelper sqlutils msglog)
    if(NOT EXISTS ${prefix}/${LIBDIR}/lib${library}.so)
        message(SEND_ERROR "missing ${LIBDIR}/lib${library}.so")
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
foreach(file ${LIBDIR}/cmake/MsgService/MsgServiceConfig.cmake ${LIBDIR}/cmake/MsgService/MsgServiceTargets.cmake
             ${LIBDIR}/pkgconfig/msgservice.pc)
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
    set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
    execute_process(COMMAND ${PKG_CONFIG} --libs msgservice
        RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0 OR NOT out MATCHES "-lmsgservice")
        message(SEND_ERROR "pkg-config: ${out}")
    endif()
    foreach(variable includedir libdir)
        execute_process(COMMAND ${PKG_CONFIG} --variable=${variable} msgservice
            OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(dir "${dir}" REALPATH)
        get_filename_component(expected ${prefix}/${LIBDIR} REALPATH)
        if(variable STREQUAL includedir)
            get_filename_component(expected ${prefix}/include/msgservice REALPATH)
        endif()
        if(NOT dir STREQUAL expected)
            message(SEND_ERROR "pkg-config ${variable}: ${dir}, not ${expected}")
        endif()
    endforeach()
endif()

if(SAMPLE)
    # The installed executables find the libraries relative to themselves.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/msgexport --version
        RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0 OR NOT out STREQUAL "msgexport ${VERSION}\n")
        message(SEND_ERROR "installed msgexport --version: ${result}\n${out}\n${err}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/list-sessions ${SAMPLE}
        RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0 OR NOT out MATCHES ": [1-9][0-9]* messages\n")
        message(SEND_ERROR "installed list-sessions: ${result}\n${out}\n${err}")
    endif()
    if(NOT EXISTS ${prefix}/share/man/man1/msgexport.1.gz AND NOT EXISTS ${prefix}/share/man/man1/msgexport.1)
        message(SEND_ERROR "missing the manual page of msgexport")
    endif()
endif()
