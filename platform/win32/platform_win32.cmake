# Windows: the system's own headers and libraries are the platform. What
# remains of libvktplatform is a static library of the few helpers that the
# system lacks (PlatformPostMessageWithRelease), linked into each library
# that uses them, and the system import libraries everyone needs.
add_library(vktplatform STATIC ${CMAKE_CURRENT_SOURCE_DIR}/win32/post_release_win32.cpp)
target_include_directories(vktplatform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_link_libraries(vktplatform PUBLIC user32 gdi32 winmm advapi32 ws2_32 Threads::Threads)
