// MCU placement and clipping. All coordinates are computed in 64 bits:
// MCU origins of a 65535-pixel image times a stride of up to 2^31 bytes
// overflow 32 bits.
#include "output_place.h"

#include <algorithm>
#include <cstdlib>

bool place_mcu(const DecoderState& state, uint32_t mcu_width, uint32_t mcu_height, uint32_t column,
               uint32_t row, McuPlacement& placement) {
  const ReadFields& fields = state.fields;
  const int64_t x0 = int64_t{column} * mcu_width;
  const int64_t y0 = int64_t{row} * mcu_height;
  const int64_t picture_width = fields.picture_width;
  const int64_t picture_height = std::llabs(int64_t{fields.picture_height});
  int64_t left = 0, top = 0;
  int64_t right = std::min<int64_t>(mcu_width, picture_width - x0);
  int64_t bottom = std::min<int64_t>(mcu_height, picture_height - y0);
  int64_t origin_x = x0, origin_y = y0;  // picture pixel of MCU pixel (0, 0)
  if (state.output.region_active) {
    const JpegRegion& region = state.region;
    if (x0 >= region.right || x0 + mcu_width < region.left || y0 >= region.bottom ||
        y0 + mcu_height < region.top)
      return false;
    origin_x = x0 - region.left;
    origin_y = y0 - region.top;
    left = std::max<int64_t>(0, region.left - x0);
    top = std::max<int64_t>(0, region.top - y0);
    right = std::min({int64_t{mcu_width}, region.right - x0, picture_width - origin_x});
    bottom = std::min({int64_t{mcu_height}, region.bottom - y0, picture_height - origin_y});
  }
  if (left >= right || top >= bottom) return false;
  placement.bytes_per_pixel = fields.picture_channels;
  placement.row_stride = fields.row_stride;
  placement.clip = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                    static_cast<int32_t>(bottom)};
  const int64_t offset = (origin_y + top) * placement.row_stride + (origin_x + left) * fields.picture_channels;
  placement.first_pixel = fields.picture_bytes + offset;
  return true;
}
