# Toolchain file: 32-bit Windows with Debian's mingw-w64 i686 cross
# compilers (cmake/mingw-toolchain.cmake).
set(VKT_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
