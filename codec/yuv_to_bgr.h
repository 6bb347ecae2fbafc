// Planar 8-bit YUV (4:2:0, 4:2:2, 4:4:4, or luma alone) to 24-bit BGR, top
// row first, with the ITU-R BT.601 matrix in 16.16 fixed point, for video
// range or full range input. Each chroma sample is used for the pixels it
// covers (no interpolation), as the decoder's pictures have always been
// shown.
#pragma once
#include <cstdint>

struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int yStride;
  int uStride;  // 0 repeats one chroma row for every row
  int vStride;
  int chromaShiftX;  // log2 of the horizontal subsampling: 1 for 4:2:0 and 4:2:2, 0 for 4:4:4
  int chromaShiftY;  // log2 of the vertical subsampling: 1 for 4:2:0, 0 otherwise
};

void ConvertYuvToBgr(const YuvPlanes& planes, int width, int height, bool fullRange, uint8_t* bgr);
