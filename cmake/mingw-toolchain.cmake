# The part of the two Windows toolchain files that is the same for both:
# Debian's mingw-w64 cross compilers of VKT_MINGW_PROCESSOR (the posix
# thread model, which std::thread needs), and Wine to run what they build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VKT_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${VKT_MINGW_PROCESSOR}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${VKT_MINGW_PROCESSOR}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${VKT_MINGW_PROCESSOR}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VKT_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(CMAKE_DLLTOOL ${VKT_MINGW_PROCESSOR}-w64-mingw32-dlltool)
