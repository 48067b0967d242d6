# Windows packages (included by MsgServicePackage.cmake): an NSIS installer
# whose components are the install components, and a ZIP of the same tree.
#   cpack -G "NSIS;ZIP" --config <build>/CPackConfig.cmake
# Both hold bin (msgexport.exe and every DLL it loads), include, lib (import
# libraries, CMake package, pkg-config file) and doc (the manual as text).

# The DLLs from outside the project go with the runtime component; which ones
# is read from the import tables at install time (MinGW's objdump reads them).
if(MINGW AND CMAKE_OBJDUMP)
    set(dirs "")
    get_filename_component(compiler_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
    list(APPEND dirs "${compiler_dir}") # a native MinGW keeps its runtime there
    foreach(anchor libstdc++-6.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${anchor}
            OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
            get_filename_component(found "${found}" DIRECTORY)
            get_filename_component(found "${found}" REALPATH)
            list(APPEND dirs "${found}")
        endif()
    endforeach()
    get_target_property(qt_core Qt5::Core LOCATION)
    if(qt_core)
        get_filename_component(qt_bin "${qt_core}" DIRECTORY)
        list(APPEND dirs "${qt_bin}")
    endif()
    foreach(prefix IN LISTS CMAKE_PREFIX_PATH CMAKE_FIND_ROOT_PATH)
        list(APPEND dirs "${prefix}/bin")
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    set(settings "
        set(OBJDUMP \"${CMAKE_OBJDUMP}\")
        set(STRIP \"${CMAKE_STRIP}\")
        set(BINDIR \"${CMAKE_INSTALL_BINDIR}\")
        set(DIRS \"${dirs}\")
        set(LINKS \"${PROJECT_BINARY_DIR}/runtime-dll-links\")")
    install(CODE "${settings}
        include(\"${PROJECT_SOURCE_DIR}/cmake/MsgServiceRuntimeDlls.cmake\")"
        COMPONENT runtime)
    # msgexport's own: those of its PDF export, which no library loads. What
    # the libraries load is the runtime component's.
    if(MSGSERVICE_BUILD_TOOLS)
        set(libraries "")
        foreach(library msgservice msgdetails vexobackup userdbhelper sqlutils msglog)
            list(APPEND libraries "$<TARGET_FILE:${library}>")
        endforeach()
        install(CODE "${settings}
            set(PROVIDED_BY \"${libraries}\")
            include(\"${PROJECT_SOURCE_DIR}/cmake/MsgServiceRuntimeDlls.cmake\")"
            COMPONENT tool)
    endif()
endif()

# msgexport's manual as plain text (Windows has no man), or its Markdown page
# where groff is missing.
if(MSGSERVICE_BUILD_TOOLS)
    find_program(MSGSERVICE_GROFF groff)
    if(MSGSERVICE_GROFF)
        set(manual ${PROJECT_BINARY_DIR}/packaging/msgexport.txt)
        add_custom_command(OUTPUT ${manual}
            COMMAND ${MSGSERVICE_GROFF} -man -Tascii -P-cbou ${PROJECT_SOURCE_DIR}/tools/msgexport/msgexport.1 > ${manual}
            DEPENDS ${PROJECT_SOURCE_DIR}/tools/msgexport/msgexport.1
            VERBATIM)
        add_custom_target(msgexport-manual ALL DEPENDS ${manual})
    else()
        set(manual ${PROJECT_SOURCE_DIR}/docs/msgexport.md)
    endif()
    install(FILES ${manual} DESTINATION doc COMPONENT tool)
    get_filename_component(manual ${manual} NAME)
    set(CPACK_NSIS_MENU_LINKS doc/${manual} "msgexport manual")
endif()
install(FILES packaging/debian/copyright DESTINATION doc RENAME copyright.txt COMPONENT runtime)

set(CPACK_GENERATOR NSIS ZIP)
# NSIS code and paths go to CPackConfig.cmake as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_FILE_NAME msgservice-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY msgservice)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY msgservice)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/debian/copyright)
# One ZIP of the packed components (not of everything installed), unpacked
# into a folder named like it (MsgServiceCPackOptions.cmake).
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/MsgServiceCPackOptions.cmake)

# A 64-bit installer: the programs are 64-bit, and Wine without its 32-bit
# half (as on CI) runs nothing else. Windows itself runs either.
if(CMAKE_HOST_UNIX) # one argument: CPack splits its command line at spaces not escaped
    set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS "-XTarget\\ amd64-unicode")
endif()
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "msgservice ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "msgservice ${PROJECT_VERSION}")
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
# A newer version replaces an installed one (silently too: /S answers yes).
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The uninstaller removes the key Software\<vendor>\<package> but leaves its
# parent behind, empty. These commands run first; the uninstaller reads
# nothing more from that key (it removes it next itself).
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "DeleteRegKey SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\"
DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"")

# Every install component but the examples, so that one added later is packed
# too (it shows in the installer under its own name until described below).
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
list(REMOVE_ITEM CPACK_COMPONENTS_ALL examples)

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Libraries" REQUIRED
    DESCRIPTION "libmsgservice with its companion and service libraries, and the DLLs they load (Qt 5 Core, SQLite, libplist, libcrypto, the MinGW runtime).")
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime
    DESCRIPTION "Headers, import libraries and the CMake package (find_package(MsgService)) for building hosts.")
cpack_add_component(tool DISPLAY_NAME "msgexport" DEPENDS runtime
    DESCRIPTION "msgexport.exe, which exports the conversations of a backup folder as text, JSON, CSV, PDF or HTML, with the DLLs and fonts of its PDF export, and its manual.")
