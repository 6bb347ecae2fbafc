/* Record: records the H.264 channel of a kind-5200 device to a file for a
   number of seconds. The channel is shown in a window meanwhile (the device
   sends its stream for an open channel); the file starts at the stream's
   next segment header, as docs/api.md describes.
     record HOST PORT USER PASSWORD SECONDS FILE
   Exit status 0 when the recording ran for the whole time, 1 with the
   failing call's result code. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <vkt7100sdk.h>

static LRESULT CALLBACK RecordWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
  if (argc != 7) {
    fprintf(stderr, "usage: record HOST PORT USER PASSWORD SECONDS FILE\n");
    return 2;
  }
  unsigned seconds = (unsigned)strtoul(argv[5], NULL, 10);

  WNDCLASSA windowClass = {0};
  windowClass.lpfnWndProc = RecordWindowProc;
  windowClass.lpszClassName = "RecordWindow";
  RegisterClassA(&windowClass);
  HWND window =
      CreateWindowExA(0, "RecordWindow", "recording", WS_OVERLAPPEDWINDOW, 0, 0, 704, 576, NULL, NULL, NULL, NULL);
  ShowWindow(window, SW_SHOW);

  void* handle = NULL;
  const char* step = "VKT_CreateHandle";
  int32_t result = VKT_CreateHandle(VKT_KIND_H264, &handle);
  if (result == VKT_OK) {
    step = "VKT_OpenServer";
    result = VKT_OpenServer(handle, argv[1], atoi(argv[2]), argv[3], argv[4]);
  }
  if (result == VKT_OK) {
    step = "VKT_OpenChannel";
    result = VKT_OpenChannel(handle, 0, window);
  }
  if (result == VKT_OK) {
    step = "VKT_StartRecord";
    result = VKT_StartRecord(handle, 0, argv[6]);
    if (result == VKT_OK) {
      SetTimer(window, 1, seconds * 1000, NULL);
      MSG msg;
      while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      VKT_StopRecord(handle, 0);
    }
    VKT_CloseChannel(handle, 0);
  }
  if (handle) VKT_CloseServer(handle);
  DestroyWindow(window);
  if (result != VKT_OK) {
    fprintf(stderr, "record: %s returned 0x%08X\n", step, (unsigned)result);
    return 1;
  }
  return 0;
}
