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
