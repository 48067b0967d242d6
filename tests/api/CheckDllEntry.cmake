# Windows: the message library has an entry point that turns off thread
# notifications and imports nothing else for it.
#   -DOBJDUMP=... -DNM=... -DDLL=<libmsgservice.dll>
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump)
string(FIND "${dump}" "DLL Name: KERNEL32.dll" start)
string(SUBSTRING "${dump}" ${start} -1 kernel32)
string(REGEX REPLACE "\n\n.*" "" kernel32 "${kernel32}") # the import list ends at a blank line
if(start EQUAL -1 OR NOT kernel32 MATCHES "DisableThreadLibraryCalls")
    message(SEND_ERROR "${DLL} does not import DisableThreadLibraryCalls")
endif()
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols)
if(NOT symbols MATCHES " T DllMain\n")
    message(SEND_ERROR "${DLL} has no DllMain")
endif()
