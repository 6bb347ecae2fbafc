/* Live view: shows one channel of a device in a window for a number of
   seconds. The SDK's functions plus an ordinary Win32 window and message
   loop; on Linux the installed SDK headers provide <windows.h>.
     live_view KIND HOST PORT USER PASSWORD CHANNEL SECONDS
   KIND is 7100 (JPEG pictures) or 5200 (H.264). Exit status 0 when the
   channel ran for the whole time, 1 with the failing call's result code. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <vkt7100sdk.h>

/* The video flows only while this thread dispatches messages; the timer
   ends the loop. */
static LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
  if (argc != 8) {
    fprintf(stderr, "usage: live_view KIND HOST PORT USER PASSWORD CHANNEL SECONDS\n");
    return 2;
  }
  uint32_t channel = (uint32_t)strtoul(argv[6], NULL, 10);
  unsigned seconds = (unsigned)strtoul(argv[7], NULL, 10);

  WNDCLASSA windowClass = {0};
  windowClass.lpfnWndProc = ViewWindowProc;
  windowClass.lpszClassName = "LiveViewWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "LiveViewWindow", "live view", WS_OVERLAPPEDWINDOW, 0, 0, 704, 576, NULL, NULL,
                                NULL, NULL);
  ShowWindow(window, SW_SHOW);

  void* handle = NULL;
  const char* step = "VKT_CreateHandle";
  int32_t result = VKT_CreateHandle(atoi(argv[1]), &handle);
  if (result == VKT_OK) {
    step = "VKT_OpenServer";
    result = VKT_OpenServer(handle, argv[2], atoi(argv[3]), argv[4], argv[5]);
  }
  if (result == VKT_OK) {
    step = "VKT_OpenChannel";
    result = VKT_OpenChannel(handle, channel, window);
  }
  if (result == VKT_OK) {
    SetTimer(window, 1, seconds * 1000, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    VKT_CloseChannel(handle, channel);
  }
  if (handle) VKT_CloseServer(handle);
  DestroyWindow(window);
  if (result != VKT_OK) {
    fprintf(stderr, "live_view: %s returned 0x%08X\n", step, (unsigned)result);
    return 1;
  }
  return 0;
}
