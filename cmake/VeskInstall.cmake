# The SDK: headers flat into <prefix>/include, libraries, and the CMake package VeskScript.
include(CMakePackageConfigHelpers)

set(VESK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VeskScript)
# Everything else a script author needs, in one folder: the guide, the examples and their
# scenarios, the demo system. Laid out as in the source tree, so the guide's paths hold in both.
set(VESK_INSTALL_SHAREDIR ${CMAKE_INSTALL_DATADIR}/VeskScript)

set(vesk_sdk_targets vesk_script_helper vesk_stringdb vesk_configdb)
if(TARGET vesk_winapi)
    list(APPEND vesk_sdk_targets vesk_winapi)
endif()

# vesk-host joins the export set where it is built; authors know it as vesk::host.
if(TARGET vesk-host)
    set_target_properties(vesk-host PROPERTIES EXPORT_NAME host)
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
    INSTALL_DESTINATION ${VESK_INSTALL_CMAKEDIR}
    PATH_VARS VESK_INSTALL_SHAREDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VeskScriptConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/VeskScriptConfig.cmake
    ${PROJECT_BINARY_DIR}/VeskScriptConfigVersion.cmake
    ${PROJECT_SOURCE_DIR}/cmake/VeskScenarioTest.cmake
    DESTINATION ${VESK_INSTALL_CMAKEDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${VESK_INSTALL_SHAREDIR}/docs
    FILES_MATCHING PATTERN "writing-a-script.md")
# Each example builds alone against the installed SDK; only the file that gathers them into
# the SDK's own build stays behind.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${VESK_INSTALL_SHAREDIR}/examples
    REGEX "/examples/CMakeLists\\.txt$" EXCLUDE)
# The follow script the demo runs, as an example beside its project file (examples/follow/):
# its source is kept once, in script/, and installed from there.
install(FILES
    ${PROJECT_SOURCE_DIR}/script/viewTrail.h
    ${PROJECT_SOURCE_DIR}/script/viewTrail.cpp
    ${PROJECT_SOURCE_DIR}/script/load_vesk_client_script.cpp
    DESTINATION ${VESK_INSTALL_SHAREDIR}/examples/follow)
