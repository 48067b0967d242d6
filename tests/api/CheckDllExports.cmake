# Windows: each DLL's export table holds only its own public entry points, and
# the message library has an entry point that turns off thread notifications.
#   -DOBJDUMP=... -DNM=... -DDIR=<folder of the DLLs>
# DLL, then the mangled names it may export (classes as <length><name>).
set(dlls
    "libmsgservice.dll|_Z(N|TI|TS|TV)K?(10MsgService|10MsgSession|10MsgContent|8MsgPiece|13MsgIdentifier|10MsgDetails)"
    "libvexobackup.dll|_ZNK?10VexoBackup|_ZNK?16BackupInspection|_ZNK?13BackupCatalog"
    "libsqlutils.dll|_ZNK?8SqlUtils"
    "libuserdbhelper.dll|_ZNK?12UserDbHelper"
    "libmsglog.dll|_Z3LogPKciS0_z$")
foreach(entry IN LISTS dlls)
    string(REPLACE "|" ";" entry "${entry}")
    list(POP_FRONT entry dll)
    string(REPLACE ";" "|" allowed "${entry}")
    execute_process(COMMAND ${OBJDUMP} -p ${DIR}/${dll} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(SEND_ERROR "objdump failed on ${dll}")
        continue()
    endif()
    # The names only: the address table before them has bracketed rows too.
    string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" dump "${dump}")
    string(REGEX REPLACE "\n\n.*" "" dump "${dump}")
    string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" exports "${dump}")
    set(count 0)
    foreach(line IN LISTS exports)
        string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" symbol "${line}")
        if(symbol MATCHES "^(${allowed})")
            math(EXPR count "${count} + 1")
        else()
            message(SEND_ERROR "${dll} exports ${symbol}")
        endif()
    endforeach()
    if(count EQUAL 0)
        message(SEND_ERROR "${dll} exports nothing of its own")
    endif()
    message(STATUS "${dll}: ${count} exports")
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DIR}/libmsgservice.dll OUTPUT_VARIABLE dump)
string(FIND "${dump}" "DLL Name: KERNEL32.dll" start)
string(SUBSTRING "${dump}" ${start} -1 kernel32)
string(REGEX REPLACE "\n\n.*" "" kernel32 "${kernel32}") # the import list ends at a blank line
if(start EQUAL -1 OR NOT kernel32 MATCHES "DisableThreadLibraryCalls")
    message(SEND_ERROR "libmsgservice.dll does not import DisableThreadLibraryCalls")
endif()
execute_process(COMMAND ${NM} ${DIR}/libmsgservice.dll OUTPUT_VARIABLE symbols)
if(NOT symbols MATCHES " T DllMain\n")
    message(SEND_ERROR "libmsgservice.dll has no DllMain")
endif()
