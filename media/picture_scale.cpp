// Choosing the reduction a picture is read at (see picture_scale.h).
#include "picture_scale.h"

namespace {

constexpr PictureScale kReductions[] = {{8, READ_EIGHTH_BUFFER}, {4, READ_QUARTER_BUFFER}, {2, READ_HALF_BUFFER}};

}  // namespace

PictureScale ReductionScale(uint32_t divisor) {
  for (const PictureScale& scale : kReductions)
    if (scale.divisor == divisor) return scale;
  return {1, READ_IMAGE_BUFFER};
}

PictureScale ChoosePictureScale(uint32_t width, uint32_t height, ShownSize shown) {
  for (const PictureScale& scale : kReductions) {
    if (ScaledSide(width, scale.divisor) >= shown.width && ScaledSide(height, scale.divisor) >= shown.height)
      return scale;
  }
  return {1, READ_IMAGE_BUFFER};
}
