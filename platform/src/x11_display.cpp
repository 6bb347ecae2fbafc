// X11 backend (see x11_display.h). Xlib is used from the application's
// threads (window changes, blits) and from the event thread, so the display
// is opened after XInitThreads. The event thread polls the connection, drains
// the queue under XLockDisplay, and handles each event with no lock held:
// repaints take the pixel store's lock before this backend's, like blits do.
#include "x11_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "window_internal.h"

namespace platform {
namespace {

constexpr int kPollMilliseconds = 100;

struct MirroredWindow {
  Window window;
  int width, height;
  // An application's own window adopted by X11AdoptWindow: its size and
  // mapping are the application's, and it is never destroyed here.
  bool foreign = false;
};

struct Backend {
  // Set when the X server goes away; from then on windows stay off-screen.
  std::atomic<bool> lost{false};
  std::mutex mutex;  // guards everything below
  bool opened = false;
  Display* display = nullptr;
  Atom deleteWindow = 0;
  std::unordered_map<HWND, MirroredWindow> windows;
  std::unordered_map<Window, HWND> handles;
  std::thread events;
  int wakePipe[2] = {-1, -1};
};

// Never destroyed; the event thread is stopped at exit.
Backend& TheBackend() {
  static Backend* backend = new Backend;
  return *backend;
}

int IgnoreXError(Display*, XErrorEvent* error) {
  std::fprintf(stderr, "X11 error %d on request %d ignored\n", error->error_code, error->request_code);
  return 0;
}

// Xlib calls this instead of exiting the process when the connection
// breaks; later calls on the display return at once.
void ConnectionLost(Display*, void*) {
  if (!TheBackend().lost.exchange(true)) std::fprintf(stderr, "X connection lost; windows stay off-screen\n");
}

void RunEvents();

void StopEvents() {
  Backend& b = TheBackend();
  if (!b.events.joinable()) return;
  const char stop = 1;
  (void)!write(b.wakePipe[1], &stop, 1);
  b.events.join();
  std::lock_guard lock(b.mutex);
  if (!b.lost) XCloseDisplay(b.display);
  b.display = nullptr;
  b.windows.clear();
  b.handles.clear();
  b.lost = true;  // closed for good: nothing opens it again during exit
}

// Opens the display on first use, the one DISPLAY names. An application's
// window names its own display, which is tried even after DISPLAY failed.
// Call with the backend's lock held.
Display* DisplayLocked(const char* name = nullptr) {
  Backend& b = TheBackend();
  if (b.display || b.lost) return b.lost ? nullptr : b.display;
  if (b.opened && !name) return nullptr;
  b.opened = true;
  if (!name) name = std::getenv("DISPLAY");
  if (!name || !XInitThreads()) return nullptr;
  b.display = XOpenDisplay(name);
  if (!b.display) return nullptr;
  XSetErrorHandler(IgnoreXError);
  XSetIOErrorExitHandler(b.display, ConnectionLost, nullptr);
  b.deleteWindow = XInternAtom(b.display, "WM_DELETE_WINDOW", False);
  if (pipe(b.wakePipe) != 0) {
    XCloseDisplay(b.display);
    b.display = nullptr;
    return nullptr;
  }
  b.events = std::thread(RunEvents);
  std::atexit(StopEvents);
  return b.display;
}

MirroredWindow* CreateMirrorLocked(Display* display, const PlatformWindowInfo& info);

// The X window that holds the mirror of a child of `parent`: the parent's
// mirror, made (unmapped) if the parent was never shown.
Window ContainerLocked(Display* display, HWND parent) {
  Backend& b = TheBackend();
  if (!parent) return RootWindow(display, DefaultScreen(display));
  auto found = b.windows.find(parent);
  if (found != b.windows.end()) return found->second.window;
  PlatformWindowInfo info;
  if (!PlatformGetWindowInfo(parent, &info)) return 0;
  MirroredWindow* mirror = CreateMirrorLocked(display, info);
  return mirror ? mirror->window : 0;
}

// Top-level windows become X top-level windows with the window's name as
// title, that take keys and the window manager's close; children become
// subwindows of their parent's mirror, which X clips and moves with it.
MirroredWindow* CreateMirrorLocked(Display* display, const PlatformWindowInfo& info) {
  Backend& b = TheBackend();
  const Window container = ContainerLocked(display, info.parent);
  if (!container) return nullptr;
  const int width = std::max(info.width, 1), height = std::max(info.height, 1);
  const int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, container, info.x, info.y, width, height, 0,
                                      BlackPixel(display, screen), BlackPixel(display, screen));
  if (info.parent) {
    XSelectInput(display, window, ExposureMask);
  } else {
    XSelectInput(display, window, ExposureMask | StructureNotifyMask | KeyPressMask);
    XSetWMProtocols(display, window, &b.deleteWindow, 1);
    XStoreName(display, window, info.title);
    XSizeHints hints{};
    hints.flags = USPosition | USSize;
    hints.x = info.x;
    hints.y = info.y;
    hints.width = width;
    hints.height = height;
    XSetWMNormalHints(display, window, &hints);
  }
  b.handles[window] = info.window;
  return &(b.windows[info.window] = MirroredWindow{window, width, height});
}

void MirrorWindowChange(PlatformWindowChange change, const PlatformWindowInfo& info, void*) {
  Backend& b = TheBackend();
  std::lock_guard lock(b.mutex);
  Display* display = DisplayLocked();
  if (!display) return;
  XLockDisplay(display);
  auto found = b.windows.find(info.window);
  MirroredWindow* mirror = found == b.windows.end() ? nullptr : &found->second;
  switch (change) {
    case PlatformWindowChange::Shown:
      if (!mirror) mirror = CreateMirrorLocked(display, info);
      if (mirror && !mirror->foreign) XMapWindow(display, mirror->window);
      break;
    case PlatformWindowChange::Hidden:
      if (mirror && !mirror->foreign) XUnmapWindow(display, mirror->window);
      break;
    case PlatformWindowChange::Moved:
      if (mirror) {
        mirror->width = std::max(info.width, 1);
        mirror->height = std::max(info.height, 1);
        if (!mirror->foreign) {
          XMoveResizeWindow(display, mirror->window, info.x, info.y, mirror->width, mirror->height);
        }
      }
      break;
    case PlatformWindowChange::Destroyed:
      // Children went first (DestroyWindow destroys them before their parent).
      if (mirror) {
        if (mirror->foreign) {
          // Done once the server has it: the application may destroy its
          // window as soon as the wrapper is gone.
          XSelectInput(display, mirror->window, NoEventMask);
          XSync(display, False);
        } else {
          XDestroyWindow(display, mirror->window);
        }
        b.handles.erase(mirror->window);
        b.windows.erase(found);
      }
      break;
  }
  XFlush(display);
  XUnlockDisplay(display);
}

[[maybe_unused]] const int mirrorObserver = PlatformAddWindowObserver(MirrorWindowChange, nullptr);

unsigned long ChannelBits(uint32_t byte, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long maximum = mask >> shift;
  return ((byte * maximum + 127) / 255) << shift;
}

// The virtual-key code of the keys an application here looks at: letters,
// digits and Escape; 0 for the others.
WPARAM VirtualKey(KeySym symbol) {
  if (symbol >= XK_a && symbol <= XK_z) return 'A' + (symbol - XK_a);
  if (symbol >= XK_0 && symbol <= XK_9) return '0' + (symbol - XK_0);
  if (symbol == XK_Escape) return VK_ESCAPE;
  return 0;
}

void HandleEvent(const XEvent& event) {
  Backend& b = TheBackend();
  HWND window;
  bool foreign;
  {
    std::lock_guard lock(b.mutex);
    auto found = b.handles.find(event.xany.window);
    if (found == b.handles.end()) return;
    window = found->second;
    const auto mirror = b.windows.find(window);
    foreign = mirror != b.windows.end() && mirror->second.foreign;
    if (foreign && event.type == DestroyNotify) {
      // The application destroyed its window: pictures stay in the
      // wrapper's pixels from now on.
      b.handles.erase(found);
      b.windows.erase(mirror);
      return;
    }
  }
  switch (event.type) {
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      const RECT area{e.x, e.y, e.x + e.width, e.y + e.height};
      UseWindowPixels(window, [&](const WindowPixels& pixels) { X11ShowPixels(window, pixels, area); });
      // An adopted window's messages would only pile up: the application
      // paints it through X, and the SDK reads its size when it draws.
      if (e.count == 0 && !foreign) PostMessageA(window, WM_PAINT, 0, 0);
      break;
    }
    case ConfigureNotify: {
      // Only resizes made outside this process (a window manager, a user)
      // change the window; our own MoveWindow already did. Posted, not
      // sent: this thread never waits for a window's owner.
      const XConfigureEvent& e = event.xconfigure;
      PlatformWindowInfo info;
      bool resized = false;
      if (!PlatformGetWindowInfo(window, &info) || (info.width == e.width && info.height == e.height)) break;
      if (PlatformSetWindowRect(window, info.x, info.y, e.width, e.height, &resized) && resized && !foreign) {
        PostMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELONG(e.width, e.height));
      }
      break;
    }
    case KeyPress: {
      XKeyEvent key = event.xkey;
      const WPARAM virtualKey = VirtualKey(XLookupKeysym(&key, 0));
      if (virtualKey) PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
      break;
    }
    case ClientMessage:
      if (static_cast<Atom>(event.xclient.data.l[0]) == b.deleteWindow) PostMessageA(window, WM_CLOSE, 0, 0);
      break;
  }
}

void RunEvents() {
  Backend& b = TheBackend();
  Display* display = b.display;  // set before this thread starts, cleared only after it ends
  pollfd waits[2] = {{ConnectionNumber(display), POLLIN, 0}, {b.wakePipe[0], POLLIN, 0}};
  for (;;) {
    poll(waits, 2, kPollMilliseconds);
    if (waits[1].revents) return;
    if (waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) ConnectionLost(display, nullptr);
    if (b.lost) return;
    std::vector<XEvent> events;
    XLockDisplay(display);
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      events.push_back(event);
    }
    XUnlockDisplay(display);
    for (const XEvent& event : events) HandleEvent(event);
  }
}

}  // namespace

bool X11ScreenSize(int* width, int* height) {
  std::lock_guard lock(TheBackend().mutex);
  Display* display = DisplayLocked();
  if (!display) return false;
  *width = DisplayWidth(display, DefaultScreen(display));
  *height = DisplayHeight(display, DefaultScreen(display));
  return true;
}

bool X11PointerPosition(int* x, int* y) {
  Backend& b = TheBackend();
  std::lock_guard lock(b.mutex);
  Display* display = DisplayLocked();
  if (!display) return false;
  XLockDisplay(display);
  Window root, child;
  int windowX, windowY;
  unsigned buttons;
  const bool found = XQueryPointer(display, DefaultRootWindow(display), &root, &child, x, y, &windowX, &windowY,
                                   &buttons);
  XUnlockDisplay(display);
  return found;
}

bool X11AdoptWindow(HWND window, const char* displayName, unsigned long xWindow, int* width, int* height) {
  Backend& b = TheBackend();
  std::lock_guard lock(b.mutex);
  Display* display = DisplayLocked(displayName);
  if (!display || b.windows.contains(window) || b.handles.contains(xWindow)) return false;
  XLockDisplay(display);
  // Selected before the size is read, so that no later resize is missed.
  // Other clients' selections on the window are their own and stay.
  XSelectInput(display, xWindow, ExposureMask | StructureNotifyMask);
  XWindowAttributes attributes;
  const bool exists = XGetWindowAttributes(display, xWindow, &attributes) != 0;
  if (exists) {
    *width = attributes.width;
    *height = attributes.height;
    b.handles[xWindow] = window;
    b.windows[window] = MirroredWindow{xWindow, attributes.width, attributes.height, true};
  }
  XUnlockDisplay(display);
  return exists;
}

void X11ShowPixels(HWND window, const WindowPixels& pixels, const RECT& area) {
  Backend& b = TheBackend();
  std::lock_guard lock(b.mutex);
  auto found = b.windows.find(window);
  if (!b.display || b.lost || found == b.windows.end()) return;
  const LONG left = std::max<LONG>(area.left, 0), top = std::max<LONG>(area.top, 0);
  const LONG right = std::min<LONG>(area.right, pixels.width), bottom = std::min<LONG>(area.bottom, pixels.height);
  if (left >= right || top >= bottom) return;
  const unsigned width = right - left, height = bottom - top;
  Display* display = b.display;
  XLockDisplay(display);
  const int screen = DefaultScreen(display);
  Visual* visual = DefaultVisual(display, screen);
  XImage* image =
      XCreateImage(display, visual, DefaultDepth(display, screen), ZPixmap, 0, nullptr, width, height, 32, 0);
  if (image) image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
  if (image && image->data) {
    const bool native = image->bits_per_pixel == 32 && visual->red_mask == 0xFF0000 &&
                        visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
    if (native) image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    for (unsigned y = 0; y < height; ++y) {
      const uint32_t* row = pixels.rgb.data() + static_cast<size_t>(top + y) * pixels.width + left;
      if (native) {
        std::memcpy(image->data + static_cast<size_t>(y) * image->bytes_per_line, row, width * 4);
        continue;
      }
      for (unsigned x = 0; x < width; ++x) {
        const uint32_t rgb = row[x];
        XPutPixel(image, x, y,
                  ChannelBits(rgb >> 16 & 0xFF, visual->red_mask) | ChannelBits(rgb >> 8 & 0xFF, visual->green_mask) |
                      ChannelBits(rgb & 0xFF, visual->blue_mask));
      }
    }
    XPutImage(display, found->second.window, DefaultGC(display, screen), image, 0, 0, left, top, width, height);
    XFlush(display);
  }
  if (image) XDestroyImage(image);
  XUnlockDisplay(display);
}

}  // namespace platform
