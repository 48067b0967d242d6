# Per-target settings shared by every target of the project. Nothing here
# touches global flags, so a host that adds this project as a subdirectory
# keeps its own.
function(msgservice_target_defaults target)
    target_compile_features(${target} PRIVATE cxx_std_17)
    set_target_properties(${target} PROPERTIES
        CXX_EXTENSIONS OFF
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    endif()
    if(MSGSERVICE_SANITIZE)
        target_compile_options(${target} PRIVATE
            -fsanitize=${MSGSERVICE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
        target_link_options(${target} PRIVATE -fsanitize=${MSGSERVICE_SANITIZE})
    endif()
endfunction()
