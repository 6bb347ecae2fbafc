// The simulated display shared by every DirectDraw object of the process:
// its mode, the failures tests switch on, call counters, and the registry of
// live surfaces that PlatformLoseSurfaces and RestoreAllSurfaces walk.
//
// DisplayMutex() guards all of it and every surface's lock, device-context
// and lost state. Lock order: display mutex, then the window pixel store,
// then the X11 backend.
#pragma once
#include <ddraw.h>

#include <mutex>
#include <unordered_set>

#include "surface_format.h"

namespace platform {

class DirectDrawSurface;

std::mutex& DisplayMutex();

// The mode new DirectDraw objects take (the chosen one, or the default).
PlatformDisplayMode CurrentDisplayMode();
PixelLayout LayoutOf(const PlatformDisplayMode& mode);
// Whether DirectDraw objects and clippers are refused (takes the mutex).
bool DirectDrawFails();

// Below: call with DisplayMutex() held.
bool RestoreFailsLocked();
bool VideoMemoryFullLocked();
PlatformDisplayCounters& CountersLocked();
void RegisterSurfaceLocked(DirectDrawSurface* surface);
void UnregisterSurfaceLocked(DirectDrawSurface* surface);
const std::unordered_set<DirectDrawSurface*>& SurfacesLocked();

}  // namespace platform
