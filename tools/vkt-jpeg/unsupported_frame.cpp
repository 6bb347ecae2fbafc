// Why the decoder refused a frame with "Unsupported frame was found": the
// decoder reports only the status, so the tool finds the stream's frame
// header (SOFn) itself and names its coding process. Walks the segments
// before the first scan by their lengths, every read bounds-checked.
#include "jpeg_tool.h"

namespace vkt::jpegtool {
namespace {

const char* coding_of(uint8_t marker) {
  switch (marker) {
    case 0xC3: return "lossless (SOF3)";
    case 0xC5: return "hierarchical (SOF5)";
    case 0xC6: return "hierarchical progressive (SOF6)";
    case 0xC7: return "hierarchical lossless (SOF7)";
    case 0xC8: return "reserved extension (JPG)";
    case 0xC9: return "arithmetic-coded (SOF9)";
    case 0xCA: return "arithmetic-coded progressive (SOF10)";
    case 0xCB: return "arithmetic-coded lossless (SOF11)";
    case 0xCD: return "hierarchical arithmetic-coded (SOF13)";
    case 0xCE: return "hierarchical arithmetic-coded progressive (SOF14)";
    case 0xCF: return "hierarchical arithmetic-coded lossless (SOF15)";
    default: return nullptr;
  }
}

// The first unsupported frame marker before the first scan, or 0.
uint8_t unsupported_frame_marker(const std::vector<uint8_t>& bytes) {
  size_t at = 2;  // after SOI
  while (at + 4 <= bytes.size() && bytes[at] == 0xFF) {
    const uint8_t marker = bytes[at + 1];
    if (coding_of(marker)) return marker;
    if (marker == 0xDA || marker == 0xD9) return 0;  // the first scan or the end: no such frame
    if (marker == 0xFF) {
      ++at;  // a fill byte
      continue;
    }
    at += 2 + ((size_t{bytes[at + 2]} << 8) | bytes[at + 3]);
  }
  return 0;
}

}  // namespace

std::string unsupported_frame_reason(const std::vector<uint8_t>& bytes) {
  const uint8_t marker = unsupported_frame_marker(bytes);
  const std::string coding = marker ? coding_of(marker) : "an unsupported";
  return coding + " frame: only Huffman-coded baseline, extended and progressive frames are decoded";
}

}  // namespace vkt::jpegtool
