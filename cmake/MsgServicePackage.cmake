# Packages from this build, one install component each (see scripts/package.sh
# and scripts/check-windows-installer.sh):
#   runtime     the shared libraries (on Windows with the DLLs they load)
#   development headers, import libraries, CMake package, pkg-config file
#   tool        msgexport and its manual
# Linux: Debian packages (cpack -G DEB), one per component:
#   runtime -> libmsgservice1, development -> libmsgservice-dev, tool -> msgexport
# Windows (MinGW): an NSIS installer with the three as its components, and a
# ZIP of the same tree for use without installing.
# The "examples" component (list-sessions) stays out of every package. Only a
# top-level build packs: a host that adds this project keeps its own CPack.
if(APPLE OR NOT CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
    return()
endif()

set(MSGSERVICE_PACKAGE_MAINTAINER "msgservice maintainers <maintainers@msgservice.example>"
    CACHE STRING "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME msgservice)
set(CPACK_PACKAGE_VENDOR msgservice)
set(CPACK_PACKAGE_CONTACT ${MSGSERVICE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package names its own synopsis (first line of its description); a
# summary other than CPack's default would be put in front of every one.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development tool)

if(WIN32)
    include(cmake/MsgServiceWindowsPackage.cmake)
    return()
endif()

set(msgservice_package_runtime libmsgservice${PROJECT_VERSION_MAJOR})
set(msgservice_package_development libmsgservice-dev)
set(msgservice_package_tool msgexport)

# Each package carries its copyright file and compressed changelog. They are
# left out of a plain install, which names no component.
configure_file(packaging/debian/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
foreach(component runtime development tool)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${msgservice_package_${component}})
    install(FILES packaging/debian/copyright DESTINATION ${docdir} COMPONENT ${component} EXCLUDE_FROM_ALL)
    msgservice_install_gzipped(${PROJECT_BINARY_DIR}/packaging/changelog ${docdir} ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# msgexport links the libraries of the runtime package, which are not
# installed while it is packed; dpkg-shlibdeps reads them in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "")
foreach(library msgservice msgdetails vexobackup userdbhelper sqlutils msglog)
    get_target_property(library_dir ${library} BINARY_DIR)
    list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dir})
endforeach()
list(REMOVE_DUPLICATES CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
# The other packages depend on exactly this version of the libraries.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${msgservice_package_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON) # only the runtime package has shared objects
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs through dpkg's trigger (CPack's own postinst calls it as well).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "library reading the text messages of iPhone backup folders
msgservice reads the message database and the address book of an iPhone
backup folder, read-only, and hands the conversations to the host with their
participants, messages, attachments and previews.
.
This package holds the shared library, the four service libraries it
loads (logging, backup folders, user database, SQLite access) and the
details library (reactions, replies, edits, effects, link previews).")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${msgservice_package_development})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The public headers and both package descriptions require Qt 5 Core.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS qtbase5-dev)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "library reading the text messages of iPhone backups - development files
msgservice reads the message database and the address book of an iPhone
backup folder, read-only, and hands the conversations to the host.
.
This package holds the headers, the CMake package (find_package(MsgService))
and the pkg-config files (msgservice, msgdetails).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${msgservice_package_tool})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "export the text messages of an iPhone backup folder
msgexport loads the message database of an iPhone backup folder and writes
its conversations as text, JSON, CSV, PDF or a folder of HTML pages, with
contact names, real dates and the attachment files. It never writes into the
backup.")
# The PDF export lays text out in the Noto and DejaVu fonts (any script,
# colour emoji).
set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS "fonts-noto-core, fonts-dejavu-core, fonts-noto-cjk, fonts-noto-color-emoji")

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Libraries")
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(tool DISPLAY_NAME "msgexport" DEPENDS runtime)
