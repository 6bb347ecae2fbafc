// Packing of an H.264 file's pictures into the device's stream blocks.
#include "h264_file_stream.h"

namespace vkt::devsim {

H264FileStream::H264FileStream(const DeviceContent& content, int framesPerSecond)
    : content_(content), framesPerSecond_(framesPerSecond) {
  appendQbox(parameterBox_, kStreamVideo, 1, kKeyFrameFlag, 0, content_.parameterSets);
}

bool H264FileStream::nextBlock(std::vector<uint8_t>& block) {
  if (content_.h264Pictures.empty()) return false;
  const H264Picture& picture = content_.h264Pictures[frameNumber_ % content_.h264Pictures.size()];
  const auto timeStamp = static_cast<uint32_t>(uint64_t{frameNumber_} * 1000 / static_cast<uint64_t>(framesPerSecond_));
  block.clear();
  if (picture.key) block = makeRvdxHeader(parameterBox_, frameNumber_);
  appendQbox(block, kStreamVideo, 1, picture.key ? kKeyFrameFlag : 0, timeStamp, picture.units);
  ++frameNumber_;
  return true;
}

}  // namespace vkt::devsim
