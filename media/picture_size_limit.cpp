// The picture size check shared by both kinds' picture paths.
#include "picture_size_limit.h"

#include "debug_line.h"

bool AcceptPictureSize(uint32_t width, uint32_t height, const char* source) {
  if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
      uint64_t{width} * height <= kMaxPicturePixels)
    return true;
  SdkDebugLine("%s: %ux%u picture refused (the limit is %u pixels a side and %ux%u in all)", source, width, height,
               kMaxPictureSide, 4096u, 2304u);
  return false;
}
