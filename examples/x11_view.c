/* X11 view: shows one channel of a device in a window made with plain Xlib,
   for a number of seconds or until the window is closed. The window is the
   application's; the SDK draws each picture into it at its current size.
     x11_view KIND HOST PORT USER PASSWORD CHANNEL SECONDS
   KIND is 7100 (JPEG pictures) or 5200 (H.264). Linux only. Exit status 0
   when the channel ran for the whole time (or until the window was closed),
   1 with the failing call's result code. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <vkt7100sdk_x11.h>

/* Takes the X events queued for the window; 0 once it was closed. */
static int HandleXEvents(Display* display, Atom deleteWindow) {
  while (XPending(display)) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage && (Atom)event.xclient.data.l[0] == deleteWindow) return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 8) {
    fprintf(stderr, "usage: x11_view KIND HOST PORT USER PASSWORD CHANNEL SECONDS\n");
    return 2;
  }
  uint32_t channel = (uint32_t)strtoul(argv[6], NULL, 10);
  DWORD milliseconds = (DWORD)strtoul(argv[7], NULL, 10) * 1000;

  XInitThreads(); /* the SDK draws from its own connection and threads */
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "x11_view: cannot open the X display\n");
    return 1;
  }
  int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 704, 576, 0,
                                      BlackPixel(display, screen), BlackPixel(display, screen));
  XStoreName(display, window, "x11 view");
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &deleteWindow, 1);
  XMapWindow(display, window);

  HWND video = NULL;
  void* handle = NULL;
  const char* step = "VKT_WrapX11Window";
  int32_t result = VKT_WrapX11Window(display, window, &video);
  if (result == VKT_OK) {
    step = "VKT_CreateHandle";
    result = VKT_CreateHandle(atoi(argv[1]), &handle);
  }
  if (result == VKT_OK) {
    step = "VKT_OpenServer";
    result = VKT_OpenServer(handle, argv[2], atoi(argv[3]), argv[4], argv[5]);
  }
  if (result == VKT_OK) {
    step = "VKT_OpenChannel";
    result = VKT_OpenChannel(handle, channel, video);
  }
  if (result == VKT_OK) {
    /* The video flows while this thread dispatches the SDK's messages; X
       events are looked at between waits of at most 20 ms. */
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds && HandleXEvents(display, deleteWindow)) {
      MSG msg;
      while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    VKT_CloseChannel(handle, channel);
  }
  if (handle) VKT_CloseServer(handle);
  if (video) VKT_ReleaseX11Window(video);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  if (result != VKT_OK) {
    fprintf(stderr, "x11_view: %s returned 0x%08X\n", step, (unsigned)result);
    return 1;
  }
  return 0;
}
