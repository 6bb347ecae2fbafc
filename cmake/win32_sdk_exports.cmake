# VKT7100SDK.dll's exports: the module definition file lists the decorated
# __stdcall names and the DLL exports them without the decoration. The
# linker's own import library would carry the undecorated names too, while
# callers reference the decorated ones, so dlltool writes it from the same
# file, mapping each decorated name to its undecorated export.
set(sdk_def ${CMAKE_SOURCE_DIR}/sdk/vkt7100sdk.def)
target_sources(vkt7100sdk PRIVATE ${sdk_def})
target_link_options(vkt7100sdk PRIVATE -Wl,--kill-at)
add_custom_command(TARGET vkt7100sdk POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${sdk_def} -D VKT7100SDK.dll -l $<TARGET_LINKER_FILE:vkt7100sdk>
  VERBATIM)
