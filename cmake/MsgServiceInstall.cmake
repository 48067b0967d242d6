include(CMakePackageConfigHelpers)

install(TARGETS msgservice vexobackup userdbhelper sqlutils msglog
    EXPORT MsgServiceTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/msgservice)

install(EXPORT MsgServiceTargets
    NAMESPACE MsgService::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService)

configure_package_config_file(cmake/MsgServiceConfig.cmake.in
    ${PROJECT_BINARY_DIR}/MsgServiceConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MsgServiceConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/MsgServiceConfig.cmake
    ${PROJECT_BINARY_DIR}/MsgServiceConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MsgService)

configure_file(cmake/msgservice.pc.in ${PROJECT_BINARY_DIR}/msgservice.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/msgservice.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
