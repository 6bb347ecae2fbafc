// A small application that leaves without closing its handle: it creates a
// handle of the kind given, connects to the port given and, in the
// "streaming" scene, shows channel 0 until pictures reach its window; then
// it returns from main with the handle open. The process exit test runs it
// as a child and wants exit status 0 and a quiet error stream.
//
// usage: sdk_exit_probe KIND PORT failed|streaming
// Exit status: 0 after a normal return; 2 when the scene could not be set
// up (wrong OpenServer result, no picture within 20 s).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vkt7100sdk.h"

namespace {

// Kept where an application keeps its handle, so a leak checker sees it
// as held, not lost: what is under test is the exit, not the leak.
void* g_handle = nullptr;

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND ShownWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ProbeWindowProc;
  windowClass.lpszClassName = "ExitProbeWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "ExitProbeWindow", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 352, 288, nullptr,
                                nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOW);
  return window;
}

DWORD CentrePixel(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  static DWORD pixels[1024 * 1024];
  if (client.right * client.bottom > 1024 * 1024 ||
      !PlatformReadWindowPixels(window, pixels, client.right, client.bottom))
    return 0;
  return pixels[(client.bottom / 2) * client.right + client.right / 2];
}

// Runs the message loop until the window's centre shows a picture. One
// message at a time: a slow machine may never see the queue empty while
// video streams in.
bool PumpUntilDrawn(HWND window) {
  const DWORD blank = CentrePixel(window);
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < 20000) {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      Sleep(5);
    }
    if (CentrePixel(window) != blank) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int32_t kind = std::atoi(argv[1]);
  const int32_t port = std::atoi(argv[2]);
  const bool streaming = std::strcmp(argv[3], "streaming") == 0;
  if (VKT_CreateHandle(kind, &g_handle) != VKT_OK) return 2;
  const int32_t opened = VKT_OpenServer(g_handle, "127.0.0.1", port, "admin", "admin");
  if (!streaming) return opened != VKT_OK ? 0 : 2;
  if (opened != VKT_OK) return 2;
  HWND window = ShownWindow();
  if (VKT_OpenChannel(g_handle, 0, window) != VKT_OK || !PumpUntilDrawn(window)) return 2;
  // Pictures keep arriving while the process goes.
  return 0;
}
