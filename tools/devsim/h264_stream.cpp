// Encoding and packing of the simulated kind-5200 stream.
#include "h264_stream.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include "device_content.h"
#include "test_pattern.h"

namespace vkt::devsim {
namespace {

constexpr uint32_t kRvdxSize = 512;
constexpr uint32_t kRvdxAreaLengthByte = 400;
constexpr uint16_t kStreamVideoAlt = 5;
constexpr uint16_t kStreamAudio = 1;
constexpr uint32_t kAudioSampleBytes = 160;

void putBe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void putBe16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

bool isParameterSet(uint8_t nalType) { return nalType == 7 || nalType == 8; }
bool isNotParameterSet(uint8_t nalType) { return !isParameterSet(nalType); }

}  // namespace

void appendQbox(std::vector<uint8_t>& out, uint16_t streamType, uint32_t boxFlags, uint32_t sampleFlags,
                uint32_t timeStamp, const std::vector<uint8_t>& payload) {
  putBe32(out, static_cast<uint32_t>(24 + payload.size()));
  out.insert(out.end(), {'q', 'b', 'o', 'x'});
  putBe32(out, boxFlags);
  putBe16(out, streamType);
  putBe16(out, 0);
  putBe32(out, sampleFlags);
  putBe32(out, timeStamp);
  out.insert(out.end(), payload.begin(), payload.end());
}

void appendLengthPrefixedUnits(std::vector<uint8_t>& out, const uint8_t* annexB, size_t length,
                               bool (*keep)(uint8_t nalType)) {
  for (const auto& [start, end] : splitAnnexB(annexB, length)) {
    if (!keep(annexB[start] & 0x1F)) continue;
    putBe32(out, static_cast<uint32_t>(end - start));
    out.insert(out.end(), annexB + start, annexB + end);
  }
}

std::vector<uint8_t> makeRvdxHeader(const std::vector<uint8_t>& parameterArea, uint32_t sequence) {
  std::vector<uint8_t> header(kRvdxSize, 0);
  std::memcpy(header.data(), "rvdx", 4);
  // Fields the reader does not interpret: a sequence number, and a segment
  // length the device itself leaves unknown.
  for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>(sequence >> (8 * i));
  std::memset(header.data() + 36, 0xEE, 4);
  const size_t n = parameterArea.size() <= kMaxParameterArea ? parameterArea.size() : 0;
  header[kRvdxAreaLengthByte] = static_cast<uint8_t>(n);
  if (n > 0) std::memcpy(header.data() + kRvdxSize - n, parameterArea.data(), n);
  return header;
}

H264StreamEncoder::~H264StreamEncoder() {
  avcodec_free_context(&context_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

bool H264StreamEncoder::open(int keyInterval) {
  // The encoder's statistics would fill the simulator's log.
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (!codec) return false;
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) return false;
  context_->width = kPatternWidth;
  context_->height = kPatternHeight;
  context_->time_base = {1, 25};
  context_->framerate = {25, 1};
  context_->gop_size = keyInterval;
  context_->max_b_frames = 0;
  context_->pix_fmt = AV_PIX_FMT_YUV420P;
  context_->thread_count = 1;
  // Parameter sets only in the extradata: the device sends them in its
  // stream headers, not inside the frames.
  context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(context_->priv_data, "preset", "ultrafast", 0);
  av_opt_set(context_->priv_data, "tune", "zerolatency", 0);
  if (avcodec_open2(context_, codec, nullptr) < 0) return false;

  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = kPatternWidth;
  frame_->height = kPatternHeight;
  if (av_frame_get_buffer(frame_, 0) < 0) return false;

  std::vector<uint8_t> sets;
  appendLengthPrefixedUnits(sets, context_->extradata, context_->extradata_size, isParameterSet);
  parameterBox_.clear();
  appendQbox(parameterBox_, kStreamVideo, 1, kKeyFrameFlag, 0, sets);
  return !sets.empty() && parameterBox_.size() <= kMaxParameterArea;
}

bool H264StreamEncoder::encodeFrame(std::vector<uint8_t>& units, bool& keyFrame) {
  if (av_frame_make_writable(frame_) < 0) return false;
  drawTestPattern(frameNumber_, frame_->data[0], frame_->linesize[0], frame_->data[1], frame_->linesize[1],
                  frame_->data[2], frame_->linesize[2]);
  frame_->pts = frameNumber_;
  if (avcodec_send_frame(context_, frame_) < 0) return false;
  units.clear();
  keyFrame = false;
  while (avcodec_receive_packet(context_, packet_) == 0) {
    keyFrame = keyFrame || (packet_->flags & AV_PKT_FLAG_KEY);
    appendLengthPrefixedUnits(units, packet_->data, packet_->size, isNotParameterSet);
    av_packet_unref(packet_);
  }
  return true;
}

bool H264StreamEncoder::nextBlock(std::vector<uint8_t>& block) {
  std::vector<uint8_t> units;
  bool keyFrame = false;
  if (!context_ || !encodeFrame(units, keyFrame)) return false;
  const uint32_t timeStamp = frameNumber_ * 40;
  block.clear();
  if (keyFrame) block = makeRvdxHeader(parameterBox_, frameNumber_);
  const uint16_t streamType = !keyFrame && frameNumber_ % 5 == 0 ? kStreamVideoAlt : kStreamVideo;
  appendQbox(block, streamType, 1, keyFrame ? kKeyFrameFlag : 0, timeStamp, units);
  if (keyFrame) appendQbox(block, kStreamAudio, 1, 0, timeStamp, std::vector<uint8_t>(kAudioSampleBytes, 0xFF));
  ++frameNumber_;
  return true;
}

void corruptBlock(std::vector<uint8_t>& block, uint32_t variant) {
  if (block.size() < 32 || std::memcmp(block.data(), "rvdx", 4) == 0) return;
  auto putAt = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) block[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  switch (variant % 5) {
    case 0:  // box longer than the block
      putAt(0, static_cast<uint32_t>(block.size()) + 1000);
      break;
    case 1:  // zero size
      putAt(0, 0);
      break;
    case 2:  // wrong type
      std::memcpy(block.data() + 4, "qbux", 4);
      break;
    case 3:  // first unit's length past the box
      putAt(24, 0x7FFFFFF0);
      break;
    default:  // garbage in the payload after the first unit's header
      for (size_t i = 29; i < block.size(); i += 7) block[i] ^= 0x5A;
      break;
  }
}

void appendMalformedBox(std::vector<uint8_t>& block) {
  if (block.size() >= 4 && std::memcmp(block.data(), "rvdx", 4) == 0) return;
  const size_t at = block.size();
  appendQbox(block, kStreamAudio, 1, 0, 0, std::vector<uint8_t>(8, 0));
  std::memcpy(block.data() + at + 4, "qbux", 4);
}

}  // namespace vkt::devsim
