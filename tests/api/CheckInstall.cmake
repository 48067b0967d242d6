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

foreach(library msgservice msgdetails vexobackup userdbhelper sqlutils msglog)
    if(NOT EXISTS ${prefix}/${LIBDIR}/lib${library}.so)
        message(SEND_ERROR "missing ${LIBDIR}/lib${library}.so")
    endif()
endforeach()
foreach(header MsgService.h MsgSession.h MsgContent.h MsgPiece.h MsgIdentifier.h
               MsgDetails.h MsgDetail.h MsgDetailsExport.h VexoBackup.h UserDbHelper.h SqlUtils.h Log.h)
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
             ${LIBDIR}/pkgconfig/msgservice.pc ${LIBDIR}/pkgconfig/msgdetails.pc)
    if(NOT EXISTS ${prefix}/${file})
        message(SEND_ERROR "missing ${file}")
    endif()
endforeach()

# Runs ARGN; an error unless it exits with 0 and its output matches pattern.
function(expect_run what pattern)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0 OR NOT out MATCHES "${pattern}")
        message(SEND_ERROR "${what}: ${result}\n${out}\n${err}")
    endif()
endfunction()

set(sanitize_flags)
if(SANITIZE)
    # An instrumented library needs an instrumented host.
    set(sanitize_flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
expect_run("find_package(MsgService)" "" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} ${sanitize_flags})
expect_run("building the host" "" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
expect_run("running the host" "loaded 0 sessions: false, details false" ${WORK_DIR}/consumer/consumer ${WORK_DIR}/no-such-backup)

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
    expect_run("pkg-config" "-lmsgservice" ${PKG_CONFIG} --libs msgservice)
    expect_run("pkg-config of the details" "-lmsgdetails -lmsgservice" ${PKG_CONFIG} --libs msgdetails)
    foreach(variable includedir=include/msgservice libdir=${LIBDIR})
        string(REPLACE "=" ";" pair ${variable})
        list(GET pair 0 name)
        list(GET pair 1 folder)
        execute_process(COMMAND ${PKG_CONFIG} --variable=${name} msgservice
            OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(dir "${dir}" REALPATH)
        get_filename_component(expected ${prefix}/${folder} REALPATH)
        if(NOT dir STREQUAL expected)
            message(SEND_ERROR "pkg-config ${name}: ${dir}, not ${expected}")
        endif()
    endforeach()
endif()

if(SAMPLE)
    # The installed executables find the libraries relative to themselves.
    set(run ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin)
    expect_run("installed msgexport --version" "^msgexport ${VERSION}( \\(PDF export not built in\\))?\n" ${run}/msgexport --version)
    expect_run("installed list-sessions" ": [1-9][0-9]* messages\n" ${run}/list-sessions ${SAMPLE})
    if(NOT EXISTS ${prefix}/share/man/man1/msgexport.1.gz AND NOT EXISTS ${prefix}/share/man/man1/msgexport.1)
        message(SEND_ERROR "missing the manual page of msgexport")
    endif()
endif()
