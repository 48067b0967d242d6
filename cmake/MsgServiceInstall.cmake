# Install rules of the libraries. Components: "runtime" holds the shared
# libraries, "development" what a host builds against. Every installed path
# is relative to the prefix, so an installed tree may be moved.
include(CMakePackageConfigHelpers)

install(TARGETS msgservice msgdetails vexobackup userdbhelper sqlutils msglog
    EXPORT MsgServiceTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/msgservice COMPONENT development)

install(EXPORT MsgServiceTargets
    NAMESPACE MsgService::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService
    COMPONENT development)

configure_package_config_file(cmake/MsgServiceConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MsgServiceConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MsgServiceConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/MsgServiceConfig.cmake
    ${PROJECT_BINARY_DIR}/MsgServiceConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService
    COMPONENT development)

# pkg-config finds the prefix from the folder of the .pc file.
file(RELATIVE_PATH MSGSERVICE_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" MSGSERVICE_PC_TO_PREFIX "${MSGSERVICE_PC_TO_PREFIX}")
configure_file(cmake/msgservice.pc.in ${PROJECT_BINARY_DIR}/msgservice.pc @ONLY)
configure_file(cmake/msgdetails.pc.in ${PROJECT_BINARY_DIR}/msgdetails.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/msgservice.pc ${PROJECT_BINARY_DIR}/msgdetails.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
