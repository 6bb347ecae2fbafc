# VKT7100SDK.dll's exports and import libraries, from sdk/vkt7100sdk.def
# (which lists the 32-bit __stdcall names with their decoration):
# - 32-bit: the DLL is linked with --kill-at, so it exports the names
#   undecorated; the import libraries bind callers' decorated references
#   (_VKT_OpenServer@20) to those undecorated exports.
# - 64-bit: there is one calling convention and no decoration, so the
#   module definition is used with the decoration taken off.
# Two import libraries each: VKT7100SDK.dll.a (GNU, for mingw-w64) from
# dlltool and VKT7100SDK.lib (COFF, for MSVC's linker and lld-link) from
# llvm-dlltool, both written from the module definition after the link, so
# that every name added to the file is in both.
set(sdk_def ${CMAKE_SOURCE_DIR}/sdk/vkt7100sdk.def)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sdk_def})
find_program(VKT_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(sdk_lib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/VKT7100SDK.lib)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  file(READ ${sdk_def} sdk_def_text)
  string(REGEX REPLACE "@[0-9]+" "" sdk_def_text "${sdk_def_text}")
  set(sdk_link_def ${CMAKE_CURRENT_BINARY_DIR}/vkt7100sdk_x64.def)
  file(WRITE ${sdk_link_def} "${sdk_def_text}")
  set(dlltool_kill_at "")
  set(llvm_machine i386:x86-64)
else()
  set(sdk_link_def ${sdk_def})
  target_link_options(vkt7100sdk PRIVATE -Wl,--kill-at)
  set(dlltool_kill_at --kill-at)
  set(llvm_machine i386)
endif()
target_sources(vkt7100sdk PRIVATE ${sdk_link_def})
string(REPLACE "--kill-at" "-k" llvm_kill_at "${dlltool_kill_at}")
add_custom_command(TARGET vkt7100sdk POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} ${dlltool_kill_at} -d ${sdk_link_def} -D VKT7100SDK.dll -l $<TARGET_LINKER_FILE:vkt7100sdk>
  COMMAND ${VKT_LLVM_DLLTOOL} -m ${llvm_machine} ${llvm_kill_at} -d ${sdk_link_def} -D VKT7100SDK.dll -l ${sdk_lib}
  BYPRODUCTS ${sdk_lib}
  VERBATIM)
