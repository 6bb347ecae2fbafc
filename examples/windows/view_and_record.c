/* View and record, for Windows applications: shows channel 0 of a kind-7100
   device and of a kind-5200 device, each in a window of its own, and
   records the kind-5200 stream to a file, for a number of seconds; then
   checks that the recording starts with the stream's header.
     view_and_record HOST PORT7100 PORT5200 USER PASSWORD SECONDS FILE
   Build lines for MSVC and for mingw-w64 are in README.txt beside this
   file. Exit status 0 when both channels ran for the whole time and the
   recording holds the stream, 1 otherwise. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <vkt7100sdk.h>

static LRESULT CALLBACK ExampleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

static HWND OpenWindow(const char* title, int y) {
  HWND window = CreateWindowExA(0, "ViewAndRecord", title, WS_OVERLAPPEDWINDOW, 0, y, 360, 300, NULL, NULL, NULL,
                                NULL);
  ShowWindow(window, SW_SHOW);
  return window;
}

/* Connects a handle of the kind and opens channel 0 in the window; prints
   the failing step. */
static int32_t OpenDevice(int32_t kind, const char* host, int port, const char* user, const char* password,
                          HWND window, void** handle) {
  int32_t result = VKT_CreateHandle(kind, handle);
  const char* step = "VKT_CreateHandle";
  if (result == VKT_OK) {
    step = "VKT_OpenServer";
    result = VKT_OpenServer(*handle, host, port, user, password);
  }
  if (result == VKT_OK) {
    step = "VKT_OpenChannel";
    result = VKT_OpenChannel(*handle, 0, window);
  }
  if (result != VKT_OK) fprintf(stderr, "kind %d: %s returned 0x%08X\n", (int)kind, step, (unsigned)result);
  return result;
}

int main(int argc, char** argv) {
  if (argc != 8) {
    fprintf(stderr, "usage: view_and_record HOST PORT7100 PORT5200 USER PASSWORD SECONDS FILE\n");
    return 2;
  }
  const char* host = argv[1];
  unsigned seconds = (unsigned)strtoul(argv[6], NULL, 10);
  const char* file = argv[7];

  WNDCLASSA windowClass = {0};
  windowClass.lpfnWndProc = ExampleWindowProc;
  windowClass.lpszClassName = "ViewAndRecord";
  RegisterClassA(&windowClass);
  HWND pictures = OpenWindow("kind 7100", 0);
  HWND stream = OpenWindow("kind 5200", 310);

  void* jpegDevice = NULL;
  void* h264Device = NULL;
  int32_t result = OpenDevice(VKT_KIND_JPEG, host, atoi(argv[2]), argv[4], argv[5], pictures, &jpegDevice);
  if (result == VKT_OK) result = OpenDevice(VKT_KIND_H264, host, atoi(argv[3]), argv[4], argv[5], stream, &h264Device);
  if (result == VKT_OK) {
    result = VKT_StartRecord(h264Device, 0, file);
    if (result != VKT_OK) fprintf(stderr, "VKT_StartRecord returned 0x%08X\n", (unsigned)result);
  }
  if (result == VKT_OK) {
    /* Video flows only while this thread dispatches messages. */
    SetTimer(pictures, 1, seconds * 1000, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    VKT_StopRecord(h264Device, 0);
  }
  if (jpegDevice) VKT_CloseServer(jpegDevice);
  if (h264Device) VKT_CloseServer(h264Device);
  DestroyWindow(pictures);
  DestroyWindow(stream);
  if (result != VKT_OK) return 1;

  char start[4] = {0};
  FILE* recording = fopen(file, "rb");
  size_t got = recording ? fread(start, 1, sizeof start, recording) : 0;
  if (recording) fclose(recording);
  if (got != sizeof start || start[0] != 'r' || start[1] != 'v' || start[2] != 'd' || start[3] != 'x') {
    fprintf(stderr, "%s does not start with the stream's header\n", file);
    return 1;
  }
  printf("kind 7100 and kind 5200 shown for %u s, %s recorded\n", seconds, file);
  return 0;
}
