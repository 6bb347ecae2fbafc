// A recording file made straight from an Annex-B H.264 stream, as the SDK
// would record a device sending it: each key picture behind a header whose
// parameter area holds the parameter sets in force (the stream's latest
// before it, so a picture size change brings new ones), every picture one
// video box 40 ms after the last. The tests and the fuzz seeds use it to
// get recordings with B-frames, size changes and slices without a device.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::devsim {

// At most `maxPictures` pictures in decoding order (0: all).
std::vector<uint8_t> recordAnnexB(const std::vector<uint8_t>& annexB, size_t maxPictures);

}  // namespace vkt::devsim
