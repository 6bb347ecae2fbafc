// A camera-like scene for the simulated devices and the pipeline benchmark:
// smooth shading, hard edges and fixed-seed sensor noise, the kind of
// content whose JPEG pictures cost what a real camera's do (flat test cards
// compress to almost nothing and decode unrealistically fast).
#pragma once
#include <cstdint>

namespace vkt::devsim {

// Sample of colour plane `plane` (0..2) at (x, y) in frame `frame`; the
// scene pans with the frame. Each `viewpoint` (a channel) sees a scene of
// its own; viewpoint 0 is the benchmark's.
uint8_t cameraSceneSample(int x, int y, int plane, int frame, unsigned viewpoint = 0);

}  // namespace vkt::devsim
