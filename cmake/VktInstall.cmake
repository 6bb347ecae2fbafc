# What `cmake --install BUILD --prefix P` puts into P:
#   lib/        the shared libraries, with SONAMEs and versions
#   include/vkt7100sdk/   the SDK and JPEG decoder headers and, for Linux
#               applications, the Win32 subset they are written against
#   lib/pkgconfig/        vkt7100sdk.pc, vktjpeg.pc
#   lib/cmake/VKT7100SDK/ the package for find_package(VKT7100SDK)
#   bin/        the tools
#   share/doc/vkt7100sdk/ the documents and the examples
# Included after every component, so that it only adds install rules and
# properties to targets that exist.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(vkt_include_subdir vkt7100sdk)
set(vkt_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/VKT7100SDK)

# Libraries: the SDK, the JPEG decoder and the platform layer that
# applications link, plus the libraries the SDK itself needs at run time.
# They find each other next to themselves.
set(vkt_installed_libraries vkt7100sdk vktjpeg vktplatform RemoteSocket NVSRemoteSocket DecodeSDK AudDecSDK)
# `vkt-installed` builds what the rules below install and nothing else:
# the packager's builds of CI (scripts/build.sh DIR --target vkt-installed).
add_custom_target(vkt-installed)
foreach(lib ${vkt_installed_libraries})
  if(TARGET ${lib})
    add_dependencies(vkt-installed ${lib})
    set_target_properties(${lib} PROPERTIES
      VERSION ${PROJECT_VERSION}
      SOVERSION ${PROJECT_VERSION_MAJOR}
      INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${lib} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
  endif()
endforeach()

# Tools, which find the libraries in ../lib.
set(vkt_installed_tools vkt-devsim vkt-viewer vkt-login vkt-jpeg vkt-rec)
foreach(tool ${vkt_installed_tools})
  if(TARGET ${tool})
    add_dependencies(vkt-installed ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Headers. On Linux the SDK's header and an application's window code need
# the Win32 subset, which therefore installs beside them (not the DirectDraw
# subset: only the library's renderer uses it).
install(FILES ${CMAKE_SOURCE_DIR}/include/vkt7100sdk.h ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_events.h
              ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_x11.h
              ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_pictures.h
              ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_timeouts.h
              ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_recording.h
              ${CMAKE_SOURCE_DIR}/include/vkt7100sdk_callbacks.h
              ${CMAKE_SOURCE_DIR}/include/vktjpeg.h
              ${CMAKE_SOURCE_DIR}/platform/include/windows.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${vkt_include_subdir})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/platform/include/win32
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${vkt_include_subdir} FILES_MATCHING PATTERN "*.h")

# pkg-config files, relocatable: the prefix is found from the file's own
# place, so a tree installed with --prefix (or moved) stays usable.
file(RELATIVE_PATH vkt_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
# CMake ends the relative path with a slash ("../../"); without it the
# paths built on the prefix carry no doubled slash.
string(REGEX REPLACE "/$" "" vkt_pc_to_prefix "${vkt_pc_to_prefix}")
foreach(pc vkt7100sdk vktjpeg)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The CMake package: imported targets VKT7100SDK::sdk, ::jpeg, ::platform.
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VKT7100SDKConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VKT7100SDKConfig.cmake
  INSTALL_DESTINATION ${vkt_package_dir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VKT7100SDKConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/VKT7100SDKConfig.cmake
              ${CMAKE_BINARY_DIR}/package/VKT7100SDKConfigVersion.cmake
        DESTINATION ${vkt_package_dir})

# Documents (the README first among them) and examples.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
