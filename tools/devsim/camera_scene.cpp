// The camera-like scene (camera_scene.h).
#include "camera_scene.h"

#include <cmath>

namespace vkt::devsim {

uint8_t cameraSceneSample(int x, int y, int plane, int frame, unsigned viewpoint) {
  // Each viewpoint looks at another part of the scene, with its own tint.
  x += static_cast<int>(viewpoint) * 211;
  y += static_cast<int>(viewpoint) * 97;
  const double tint = plane + viewpoint * 0.7;
  const int shift = frame * 3;
  const double shade = 96 + 60 * std::sin((x + shift) * 0.013 + tint) * std::cos(y * 0.021 - tint);
  const bool edge = ((x + shift) / 48 + y / 40) % 5 == 0;
  uint32_t noise = uint32_t(x * 73856093u ^ y * 19349663u ^ (frame + plane) * 83492791u);
  noise ^= noise >> 13;
  const int value = int(shade) + (edge ? 70 : 0) + int(noise % 17) - 8;
  return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

}  // namespace vkt::devsim
