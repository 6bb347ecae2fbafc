// Test and benchmark helper: encodes pictures that the caller draws into an
// Annex-B H.264 main-profile stream with its parameter sets in band, as a
// camera or ffmpeg writes it. The content tests and the pipeline benchmark
// feed such files to the simulator's --h264 and differ only in what they
// draw and how the encoder is tuned.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace vkt::test {

struct H264TestSettings {
  int width = 0;
  int height = 0;
  int keyInterval = 0;          // pictures from one key picture to the next
  const char* preset = nullptr; // libx264 speed preset, e.g. "ultrafast"
  const char* tune = nullptr;   // libx264 tuning, or none
  const char* profile = nullptr;    // libx264 profile; none: main for 4:2:0, else the one of the chroma format
  int bFrames = 0;              // B pictures between references
  int slices = 0;               // slices per picture; 0 for the encoder's choice
  const char* x264Params = nullptr;  // further libx264 options ("key=value:..."), or none
  int chromaFormat = 420;       // 420, 422, 444, or 400 (luma alone)
};

// Fills one picture's planes (Y, U, V; chroma sized by the chroma format,
// none for 400) for picture number `index`.
using H264PictureFill = std::function<void(int index, uint8_t* const planes[3], const int strides[3])>;

// `pictures` pictures at 25 fps, main profile for 4:2:0 and
// the high profile that carries the other chroma formats; empty when no H.264 encoder
// is available or it cannot be opened.
std::vector<uint8_t> encodeH264(const H264TestSettings& settings, int pictures, const H264PictureFill& fill);

}  // namespace vkt::test
