# The Windows builds, 32-bit and 64-bit (toolchains: cmake/mingw-i686.cmake,
# cmake/mingw-x86_64.cmake). The same components as on Linux, minus what
# only the Linux host runs (the device simulator, benchmarks, fuzzing, the
# platform's own tests; vkt-jpeg is built without PNG output): the C and C++
# runtimes are linked statically so that the DLLs import only Windows system
# DLLs and each other; GoogleTest comes from Debian's source, built here with
# the cross compiler; FFmpeg's H.264 decoder from scripts/ffmpeg-win32.sh.
add_link_options(-static -static-libgcc -static-libstdc++)
find_package(Threads REQUIRED)

set(gtest_force_shared_crt OFF)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # defines GTest::*

set(VKT_FFMPEG_PREFIX ${CMAKE_BINARY_DIR}/ffmpeg CACHE PATH "FFmpeg's H.264 decoder built for this architecture's mingw")
set(ENV{PKG_CONFIG_LIBDIR} ${VKT_FFMPEG_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# Its libraries sit outside the toolchain's root.
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)

foreach(dir platform transport codec jpeg display media sdk tools/common tools/viewer tools/vkt-login tools/vkt-jpeg)
  add_subdirectory(${dir})
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/win32_libraries.cmake)
add_subdirectory(tests/win32)
