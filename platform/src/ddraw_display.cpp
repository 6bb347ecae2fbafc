// State of the simulated display and the PlatformSet* controls tests use.
#include "ddraw_display.h"

#include "ddraw_surface.h"
#include "x11_display.h"

namespace platform {
namespace {

struct DisplayState {
  std::mutex mutex;
  bool modeChosen = false;
  PlatformDisplayMode mode{};
  bool restoreFails = false;
  bool videoMemoryFull = false;
  bool directDrawFails = false;
  PlatformDisplayCounters counters{};
  std::unordered_set<DirectDrawSurface*> surfaces;
};

// Never destroyed: surfaces released during process exit still unregister.
DisplayState& State() {
  static DisplayState* state = new DisplayState;
  return *state;
}

constexpr LONG kDefaultWidth = 1920;
constexpr LONG kDefaultHeight = 1080;

bool IsSupportedMode(const PlatformDisplayMode& mode) {
  const DWORD bits = mode.bitsPerPixel;
  return mode.width > 0 && mode.height > 0 && mode.width <= 16384 && mode.height <= 16384 &&
         (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

}  // namespace

std::mutex& DisplayMutex() { return State().mutex; }

PlatformDisplayMode CurrentDisplayMode() {
  {
    std::lock_guard lock(State().mutex);
    if (State().modeChosen) return State().mode;
  }
  PlatformDisplayMode mode{kDefaultWidth, kDefaultHeight, 32, DDPF_RGB, 0xFF0000, 0x00FF00, 0x0000FF};
  int width, height;
  if (X11ScreenSize(&width, &height)) {
    mode.width = width;
    mode.height = height;
  }
  return mode;
}

PixelLayout LayoutOf(const PlatformDisplayMode& mode) {
  return PixelLayout{mode.bitsPerPixel, mode.pixelFlags, mode.redMask, mode.greenMask, mode.blueMask};
}

bool RestoreFailsLocked() { return State().restoreFails; }
bool VideoMemoryFullLocked() { return State().videoMemoryFull; }
bool DirectDrawFails() {
  std::lock_guard lock(State().mutex);
  return State().directDrawFails;
}
PlatformDisplayCounters& CountersLocked() { return State().counters; }
void RegisterSurfaceLocked(DirectDrawSurface* surface) { State().surfaces.insert(surface); }
void UnregisterSurfaceLocked(DirectDrawSurface* surface) { State().surfaces.erase(surface); }
const std::unordered_set<DirectDrawSurface*>& SurfacesLocked() { return State().surfaces; }

}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT void PlatformSetDisplayMode(const PlatformDisplayMode* mode) {
  std::lock_guard lock(State().mutex);
  State().modeChosen = mode && IsSupportedMode(*mode);
  if (State().modeChosen) State().mode = *mode;
}

WINAPI_EXPORT void PlatformLoseSurfaces(void) {
  std::lock_guard lock(State().mutex);
  for (DirectDrawSurface* surface : State().surfaces) surface->MarkLostLocked();
}

WINAPI_EXPORT void PlatformSetRestoreFails(BOOL fails) {
  std::lock_guard lock(State().mutex);
  State().restoreFails = fails != FALSE;
}

WINAPI_EXPORT void PlatformSetVideoMemoryFull(BOOL full) {
  std::lock_guard lock(State().mutex);
  State().videoMemoryFull = full != FALSE;
}

WINAPI_EXPORT void PlatformSetDirectDrawFails(BOOL fails) {
  std::lock_guard lock(State().mutex);
  State().directDrawFails = fails != FALSE;
}

WINAPI_EXPORT void PlatformGetDisplayCounters(PlatformDisplayCounters* counters) {
  if (!counters) return;
  std::lock_guard lock(State().mutex);
  *counters = State().counters;
}
}
