// OutputDebugStringA and MessageBoxA. Neither blocks: debug text goes to
// stderr when VKT_DEBUG_OUTPUT is set, and a message box is printed as
// "caption: text" and handed to the hook that tests install.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <windows.h>

namespace {
std::atomic<PlatformMessageBoxHook> messageBoxHook{nullptr};
}

extern "C" {

WINAPI_EXPORT void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text && std::getenv("VKT_DEBUG_OUTPUT")) std::fputs(text, stderr);
}

WINAPI_EXPORT int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const char* shownCaption = caption ? caption : "Error";  // Windows' default caption
  const char* shownText = text ? text : "";
  std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
  if (PlatformMessageBoxHook hook = messageBoxHook.load()) hook(shownCaption, shownText);
  return IDOK;
}

WINAPI_EXPORT void PlatformSetMessageBoxHook(PlatformMessageBoxHook hook) { messageBoxHook.store(hook); }
}
