# Windows names and link details of the libraries built by the components:
# DLLs without the "lib" prefix, the SDK as VKT7100SDK.dll with its names
# from the module definition file, and the Winsock import for the wire code.
foreach(lib vkt7100sdk RemoteSocket NVSRemoteSocket DecodeSDK AudDecSDK vktjpeg)
  set_target_properties(${lib} PROPERTIES PREFIX "" IMPORT_PREFIX "")
endforeach()
set_target_properties(vkt7100sdk PROPERTIES OUTPUT_NAME VKT7100SDK)
target_link_libraries(vktwire PUBLIC ws2_32)
# The interface identifiers of DirectDraw live in a static library.
target_link_libraries(vktdisplay PUBLIC dxguid)
# The viewer dims its tiles through DirectDraw too.
target_link_libraries(vkt-viewer PRIVATE dxguid)
# The decoder's COFF import library for MSVC's linker (its four functions
# are __cdecl, exported undecorated): the link writes the module definition
# of what it exported, llvm-dlltool the import library from it.
set(jpeg_def ${CMAKE_CURRENT_BINARY_DIR}/vktjpeg_exports.def)
set(jpeg_lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/vktjpeg.lib)
target_link_options(vktjpeg PRIVATE -Wl,--output-def,${jpeg_def})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(jpeg_machine i386:x86-64)
else()
  set(jpeg_machine i386)
endif()
add_custom_command(OUTPUT ${jpeg_lib}
  COMMAND ${VKT_LLVM_DLLTOOL} -m ${jpeg_machine} -d ${jpeg_def} -D vktjpeg.dll -l ${jpeg_lib}
  DEPENDS vktjpeg
  VERBATIM)
add_custom_target(vktjpeg_msvc_import ALL DEPENDS ${jpeg_lib})
