# Toolchain file: 64-bit Windows with Debian's mingw-w64 x86_64 cross
# compilers (cmake/mingw-toolchain.cmake).
set(VKT_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
