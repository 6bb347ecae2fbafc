// The kind-5200 stream made from an H.264 file (--h264): its pictures in
// turn, looping, each one "qbox" box of length-prefixed units; a key
// picture's block starts with a 512-byte "rvdx" header whose parameter
// area holds the file's parameter sets. Box timestamps count milliseconds
// at the configured frame rate.
#pragma once
#include "device_content.h"
#include "h264_stream.h"

namespace vkt::devsim {

class H264FileStream : public StreamSource {
 public:
  // `content` holds at least one picture (loadH264File) and outlives the stream.
  H264FileStream(const DeviceContent& content, int framesPerSecond);
  bool nextBlock(std::vector<uint8_t>& block) override;
  uint32_t framesEncoded() const override { return frameNumber_; }

 private:
  const DeviceContent& content_;
  int framesPerSecond_;
  std::vector<uint8_t> parameterBox_;
  uint32_t frameNumber_ = 0;
};

}  // namespace vkt::devsim
