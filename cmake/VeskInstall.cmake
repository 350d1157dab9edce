# The SDK: headers flat into <prefix>/include, libraries, and the CMake package VeskScript.
include(CMakePackageConfigHelpers)

set(VESK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VeskScript)

set(vesk_sdk_targets vesk_script_helper vesk_stringdb vesk_configdb)
if(TARGET vesk_winapi)
    list(APPEND vesk_sdk_targets vesk_winapi)
endif()

install(TARGETS ${vesk_sdk_targets}
    EXPORT VeskScriptTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${VESK_PLATFORM_HEADERS} ${VESK_BRIDGE_HEADERS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT VeskScriptTargets
    NAMESPACE vesk::
    DESTINATION ${VESK_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VeskScriptConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VeskScriptConfig.cmake
    INSTALL_DESTINATION ${VESK_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeskScriptConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/VeskScriptConfig.cmake
    ${PROJECT_BINARY_DIR}/VeskScriptConfigVersion.cmake
    DESTINATION ${VESK_INSTALL_CMAKEDIR})
