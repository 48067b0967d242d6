# Fails unless the library's dynamic symbol table defines only members of the
# six exported classes (and the linker's own section markers); CLASSES and
# MINIMUM name others, for the service libraries.
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(classes "MsgService|MsgSession|MsgContent|MsgPiece|MsgIdentifier|MsgDetails")
set(minimum 40)
if(CLASSES)
    set(classes "${CLASSES}")
    set(minimum ${MINIMUM})
endif()
set(count 0)
foreach(line IN LISTS lines)
    if(line STREQUAL "")
        continue()
    endif()
    string(REGEX MATCH "^[0-9a-fA-F]* *([A-Za-z]) " prefix "${line}")
    set(type "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" symbol "${line}")
    # libstdc++ makes its inline variables (std::piecewise_construct) unique
    # global objects whatever the visibility; unoptimised builds keep them.
    if(symbol MATCHES "^(${classes})::"
       OR (type STREQUAL "u" AND symbol MATCHES "^std::")
       # The std namespace and Qt's exported classes carry default visibility,
       # so an unoptimised build emits the header functions it does not
       # inline as weak exported symbols (std::__niter_base, QHashData::willGrow).
       OR (type MATCHES "^[WV]$" AND symbol MATCHES "(^| )(std|__gnu_cxx)::|^Q[A-Za-z]*[<:]")
       OR symbol MATCHES "^(typeinfo|typeinfo name|vtable) for MsgService$"
       OR symbol MATCHES "^_[A-Za-z_]+$")
        math(EXPR count "${count} + 1")
    else()
        message(SEND_ERROR "unexpected exported symbol: ${symbol}")
    endif()
endforeach()
if(count LESS minimum)
    message(FATAL_ERROR "only ${count} symbols exported; the public classes are missing")
endif()
message(STATUS "${count} exported symbols, all public")
