// JPEG pictures for the frame path and session tests, made with libjpeg:
// solid colours of any size, optionally with a long comment and with a
// channel number in byte 10.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::test {

struct JpegSpec {
  int width = 352;
  int height = 288;
  uint32_t rgb = 0x3070C0;      // 0x00RRGGBB
  int channel = 0;              // written into byte 10 (the JFIF identifier's end)
  size_t commentBytes = 0;      // a COM segment of this many bytes, 0 for none
};

std::vector<uint8_t> EncodeSolidJpeg(const JpegSpec& spec);

// False while the decoder refuses whole-image reads (READ_IMAGE_BUFFER
// answering -12, "Not supported").
bool DecoderReadsWholeImages();
inline constexpr const char kNoWholeImageReads[] =
    "the JPEG decoder does not read whole images yet (READ_IMAGE_BUFFER, mode 3, answers -12)";

}  // namespace vkt::test
