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

# Installs an executable of the project that finds the project's libraries
# relative to itself, so that it runs from any prefix without a library path.
# The build tree keeps its own run path.
function(msgservice_install_executable target component)
    file(RELATIVE_PATH libdir ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    if(APPLE)
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "@loader_path/${libdir}")
    elseif(NOT WIN32)
        # Windows finds the libraries beside the executable (RUNTIME DESTINATION).
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "\$ORIGIN/${libdir}")
    endif()
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
endfunction()

# Installs a file compressed as Debian wants manual pages and changelogs
# (gzip -9n: no name or time stamp in the archive), or plain without gzip.
# Extra arguments go to install(), e.g. EXCLUDE_FROM_ALL.
function(msgservice_install_gzipped source destination component)
    get_filename_component(name ${source} NAME)
    find_program(MSGSERVICE_GZIP gzip)
    if(NOT MSGSERVICE_GZIP)
        install(FILES ${source} DESTINATION ${destination} COMPONENT ${component} ${ARGN})
        return()
    endif()
    string(MAKE_C_IDENTIFIER "${destination}/${name}" id)
    set(copy ${PROJECT_BINARY_DIR}/gzipped/${id}/${name})
    set(output ${copy}.gz)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND ${MSGSERVICE_GZIP} -9nf ${copy}
        DEPENDS ${source}
        VERBATIM)
    add_custom_target(gzip_${id} ALL DEPENDS ${output})
    install(FILES ${output} DESTINATION ${destination} COMPONENT ${component} ${ARGN})
endfunction()

# Linux: the shared library TARGET exports only the symbols that match the
# C++ patterns after it (demangled, as in a linker version script), whatever
# the build type; an unoptimised or instrumented build would otherwise export
# the std and Qt template code it does not inline. Windows exports what is
# marked dllexport.
function(msgservice_export_map target)
    if(WIN32 OR APPLE)
        return()
    endif()
    set(map "{\n  global:\n    extern \"C++\" {\n")
    foreach(pattern IN LISTS ARGN)
        string(APPEND map "      ${pattern};\n")
    endforeach()
    string(APPEND map "    };\n  local: *;\n};\n")
    set(file ${PROJECT_BINARY_DIR}/exports/${target}.map)
    file(CONFIGURE OUTPUT ${file} CONTENT "${map}")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${file}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
endfunction()
