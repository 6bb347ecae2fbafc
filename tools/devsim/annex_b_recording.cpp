// Packing an Annex-B stream into a recording (annex_b_recording.h).
#include "annex_b_recording.h"

#include "device_content.h"
#include "h264_stream.h"

namespace vkt::devsim {
namespace {

bool isParameterSet(uint8_t type) { return type == 7 || type == 8; }
bool isSlice(uint8_t type) { return type == 1 || type == 5; }

void appendLengthPrefixed(std::vector<uint8_t>& out, const uint8_t* unit, size_t length) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), unit, unit + length);
}

}  // namespace

std::vector<uint8_t> recordAnnexB(const std::vector<uint8_t>& annexB, size_t maxPictures) {
  std::vector<uint8_t> out, sets, units;
  size_t packed = 0;
  bool key = false, slice = false, setsDone = false;
  auto flush = [&] {
    if (!slice || (maxPictures && packed == maxPictures)) return;
    if (key) {
      std::vector<uint8_t> area;
      appendQbox(area, kStreamVideo, 1, kKeyFrameFlag, 0, sets);
      const std::vector<uint8_t> header = makeRvdxHeader(area, static_cast<uint32_t>(packed));
      out.insert(out.end(), header.begin(), header.end());
    }
    appendQbox(out, kStreamVideo, 1, key ? kKeyFrameFlag : 0, static_cast<uint32_t>(packed * 40), units);
    ++packed;
    units.clear();
    key = slice = false;
  };
  for (const auto& [start, end] : splitAnnexB(annexB.data(), annexB.size())) {
    const uint8_t* unit = annexB.data() + start;
    const uint8_t type = unit[0] & 0x1F;
    // A slice with first_mb_in_slice 0 (its header's leading 1 bit), or a
    // parameter set, starts a picture.
    if (isSlice(type) ? end - start > 1 && (unit[1] & 0x80) != 0 : isParameterSet(type)) flush();
    if (isParameterSet(type)) {
      // The sets in front of a picture replace those of earlier pictures.
      if (setsDone) sets.clear();
      setsDone = false;
      appendLengthPrefixed(sets, unit, end - start);
      continue;
    }
    setsDone = true;
    appendLengthPrefixed(units, unit, end - start);
    key = key || type == 5;
    slice = slice || isSlice(type);
  }
  flush();
  return out;
}

}  // namespace vkt::devsim
