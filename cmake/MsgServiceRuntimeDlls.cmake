# Run at install time on Windows builds with MinGW: copies into the installed
# bin folder the DLLs from outside the project that the installed programs and
# DLLs load (the MinGW runtime, Qt5Core, SQLite, libplist, libcrypto), found
# by walking their import tables, so that the installed tree runs as it is.
# Only what is loaded goes along, whichever of the project's targets are
# installed. The DLLs of Windows itself are in none of the folders searched
# and stay unresolved.
# Set by the install rule: OBJDUMP, STRIP, BINDIR (relative to the prefix), DIRS (the
# folders holding the outside DLLs, first match wins), LINKS (a scratch
# folder of the build tree) and, for a component whose programs load the
# project's DLLs installed by another, PROVIDED_BY: those DLLs in the build
# tree, whose outside DLLs are left to the other component.
set(bin "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${BINDIR}")
file(GLOB programs LIST_DIRECTORIES false "${bin}/*.exe")
file(GLOB libraries LIST_DIRECTORIES false "${bin}/*.dll")
if(NOT programs AND NOT libraries)
    return()
endif()

# Import tables name DLLs in any case, and CMake looks them up in lower case:
# on a case-sensitive file system (a cross build) a folder of lower-case links
# finds Qt5Core.dll too.
file(REMOVE_RECURSE "${LINKS}")
file(MAKE_DIRECTORY "${LINKS}")
foreach(dir IN LISTS bin DIRS)
    file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll" "${dir}/*.DLL")
    foreach(dll IN LISTS dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        if(NOT EXISTS "${LINKS}/${name}")
            file(CREATE_LINK "${dll}" "${LINKS}/${name}" SYMBOLIC)
        endif()
    endforeach()
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${OBJDUMP}")
file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES ${programs}
    LIBRARIES ${libraries}
    DIRECTORIES "${LINKS}"
    PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
    RESOLVED_DEPENDENCIES_VAR resolved
    UNRESOLVED_DEPENDENCIES_VAR system)

# The project's own DLLs are resolved in the installed bin folder: their
# install rules have put them there already.
get_filename_component(bin_real "${bin}" REALPATH)
set(outside "")
foreach(dll IN LISTS resolved)
    get_filename_component(dll "${dll}" REALPATH)
    get_filename_component(dir "${dll}" DIRECTORY)
    if(NOT dir STREQUAL bin_real)
        list(APPEND outside "${dll}")
    endif()
endforeach()
if(PROVIDED_BY)
    # By name: the build tree's folder holds copies of the same DLLs.
    file(GET_RUNTIME_DEPENDENCIES
        LIBRARIES ${PROVIDED_BY}
        DIRECTORIES "${LINKS}"
        PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-"
        RESOLVED_DEPENDENCIES_VAR provided
        UNRESOLVED_DEPENDENCIES_VAR system
        CONFLICTING_DEPENDENCIES_PREFIX copies)
    set(provided_names ${copies_FILENAMES})
    foreach(dll IN LISTS provided)
        get_filename_component(name "${dll}" NAME)
        list(APPEND provided_names "${name}")
    endforeach()
    list(TRANSFORM provided_names TOLOWER)
    set(kept "")
    foreach(dll IN LISTS outside)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" name)
        list(FIND provided_names "${name}" at) # no IN_LIST: install scripts run under old policies
        if(at EQUAL -1)
            list(APPEND kept "${dll}")
        endif()
    endforeach()
    set(outside ${kept})
endif()
file(REMOVE_RECURSE "${LINKS}")
if(outside)
    list(REMOVE_DUPLICATES outside)
    file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${BINDIR}" TYPE SHARED_LIBRARY FILES ${outside})
    # A stripped install (cpack, install/strip) strips these too: MinGW's
    # libstdc++-6.dll carries 20 MB of symbols.
    if(CMAKE_INSTALL_DO_STRIP AND STRIP)
        foreach(dll IN LISTS outside)
            get_filename_component(name "${dll}" NAME)
            execute_process(COMMAND "${STRIP}" --strip-unneeded "${bin}/${name}" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR "could not strip ${bin}/${name}")
            endif()
        endforeach()
    endif()
endif()
