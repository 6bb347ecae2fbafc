// Real content for the simulator instead of its own test cards: the JPEG
// files of a directory (kind 7100, --pictures) and an Annex-B H.264 file cut
// into pictures (kind 5200, --h264). Both are read and checked once at
// start, so a bad source is refused before any client connects.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vkt::devsim {

// One picture of an H.264 file: its units length-prefixed (4-byte
// big-endian lengths), parameter sets left out.
struct H264Picture {
  std::vector<uint8_t> units;
  bool key = false;  // holds an IDR slice
};

struct DeviceContent {
  // --pictures: each file's bytes, starting with SOI and a JFIF APP0
  // segment (inserted when the file has none), so that byte 10 can carry
  // the channel as the device's pictures do.
  std::vector<std::vector<uint8_t>> pictures;
  // --h264: the first sequence and picture parameter sets, length-prefixed,
  // and the pictures from the first key picture on.
  std::vector<uint8_t> parameterSets;
  std::vector<H264Picture> h264Pictures;
};

// The .jpg / .jpeg files of `directory` in name order. A file that cannot
// be read, is not a JPEG stream or is too large for one frame is left out,
// with its name and the reason in `skipped`. False with a message when the
// directory cannot be read or no file in it can be served.
bool loadPictureFiles(const std::string& directory, DeviceContent& content, std::vector<std::string>& skipped,
                      std::string& error);

// An Annex-B H.264 file. False with a message when it cannot be read, has
// no sequence or picture parameter set or no key picture, or its
// parameter sets or a picture do not fit the device's container.
bool loadH264File(const std::string& path, DeviceContent& content, std::string& error);

// [start, end) of each NAL unit of an Annex-B run (3- or 4-byte start codes).
std::vector<std::pair<size_t, size_t>> splitAnnexB(const uint8_t* data, size_t length);

}  // namespace vkt::devsim
