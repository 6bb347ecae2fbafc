// The simulated kind-5200 camera: the test pattern encoded as H.264 by
// libavcodec and packed into the device's container, one block a frame.
// A key frame's block starts with a 512-byte "rvdx" header whose parameter
// area holds the sequence and picture parameter sets; every video frame is
// one "qbox" box of length-prefixed units.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vkt::devsim {

constexpr uint16_t kStreamVideo = 2;
constexpr uint32_t kKeyFrameFlag = 4;

// Where the device's stream blocks come from: the encoder below, or a file
// (h264_file_stream.h).
class StreamSource {
 public:
  virtual ~StreamSource() = default;
  // The next block (replacing the content of `block`); false on failure.
  virtual bool nextBlock(std::vector<uint8_t>& block) = 0;
  virtual uint32_t framesEncoded() const = 0;
};

class H264StreamEncoder : public StreamSource {
 public:
  H264StreamEncoder() = default;
  ~H264StreamEncoder() override;
  H264StreamEncoder(const H264StreamEncoder&) = delete;
  H264StreamEncoder& operator=(const H264StreamEncoder&) = delete;

  // Opens the encoder; false when libavcodec has no H.264 encoder.
  bool open(int keyInterval);
  // Encodes the next frame into `block` (replacing its content). False
  // when the encoder fails.
  bool nextBlock(std::vector<uint8_t>& block) override;
  uint32_t framesEncoded() const override { return frameNumber_; }

 private:
  bool encodeFrame(std::vector<uint8_t>& units, bool& keyFrame);

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<uint8_t> parameterBox_;
  uint32_t frameNumber_ = 0;
};

// Spoils one box of a block without a header, in one of several ways
// chosen by `variant`: a size past the block, a size of 0, a wrong type,
// a unit length past the box, or garbage in the payload.
void corruptBlock(std::vector<uint8_t>& block, uint32_t variant);
// Appends a box of the wrong type (32 bytes, "qbux") to a block without a
// header, after its pictures: a receiver loses nothing it could show.
void appendMalformedBox(std::vector<uint8_t>& block);

// Container helpers, shared with the tests that build streams by hand.
void appendQbox(std::vector<uint8_t>& out, uint16_t streamType, uint32_t boxFlags, uint32_t sampleFlags,
                uint32_t timeStamp, const std::vector<uint8_t>& payload);
// Appends the units of an Annex-B run (3- or 4-byte start codes) as
// 4-byte big-endian lengths and units; `keep` filters by NAL type.
void appendLengthPrefixedUnits(std::vector<uint8_t>& out, const uint8_t* annexB, size_t length,
                               bool (*keep)(uint8_t nalType));
// The parameter area ends the "rvdx" header, after byte 400 that holds its
// length: a longer area would overwrite that byte.
constexpr size_t kMaxParameterArea = 512 - 400 - 1;
// A 512-byte header whose last bytes are `parameterArea`; an area longer
// than kMaxParameterArea is left out.
std::vector<uint8_t> makeRvdxHeader(const std::vector<uint8_t>& parameterArea, uint32_t sequence);

}  // namespace vkt::devsim
