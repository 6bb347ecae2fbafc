// Session seeds: event runs of both kinds as a device and an application
// make them. Kind 7100: a channel opened, pictures of the simulator for
// it and for other channels, timer ticks, the connection lost and the
// calls after it. Kind 5200: the channel opened and recorded, the
// simulator's stream blocks, device time notices, recording stopped, the
// connection lost.
#include "block_stream.h"
#include "channel_picture.h"
#include "fuzz_seeds.h"
#include "h264_stream.h"

namespace fuzz_seeds {

namespace {

using Bytes = std::vector<uint8_t>;

// Event numbers of session_fuzz_target.cpp.
enum : uint8_t { kNotify, kData, kLost, kConnect, kTimer, kCall, kOther, kReconnect };
enum : uint8_t { kOpenChannel, kCloseChannel, kStartRecord, kStopRecord, kGetServerInfo };

void Event(Bytes& out, uint8_t type, const Bytes& arguments = {}) {
  Bytes piece{type};
  piece.insert(piece.end(), arguments.begin(), arguments.end());
  fuzz_input::AppendPiece(out, piece.data(), piece.size());
}

// A picture of another size than the channels' (the renderer follows it),
// small enough for the target's pixel budget.
Bytes SmallPicture(unsigned channel) {
  const Bytes rgb(16 * 16 * 3, 0x80);
  Bytes picture = vkt::devsim::encodeJpeg(rgb.data(), 16, 16);
  using vkt::devsim::kPictureChannelByte;
  if (picture.size() > kPictureChannelByte) picture[kPictureChannelByte] = static_cast<uint8_t>(channel);
  return picture;
}

Bytes Kind7100() {
  Bytes out{0};
  Event(out, kCall, {kOpenChannel, 0});
  Event(out, kCall, {kOpenChannel, 2});
  Event(out, kData, SmallPicture(0));
  Event(out, kData, SmallPicture(2));
  Event(out, kTimer);
  Event(out, kData, SmallPicture(3));  // a channel not open
  Event(out, kData, SmallPicture(2));
  Event(out, kCall, {kGetServerInfo, 112});
  Event(out, kCall, {kCloseChannel, 2});
  Event(out, kLost);
  Event(out, kCall, {kOpenChannel, 1});
  Event(out, kTimer);
  return out;
}

Bytes Kind5200() {
  Bytes out{1};
  Event(out, kCall, {kOpenChannel, 0});
  Event(out, kCall, {kStartRecord, 0});
  vkt::devsim::H264StreamEncoder encoder;
  Bytes block;
  if (encoder.open(3)) {
    for (int i = 0; i < 5 && encoder.nextBlock(block); ++i) Event(out, kData, block);
  }
  Event(out, kNotify, {83, 0, 8, 12, 0xE8, 0x07, 0, 30, 15, 10});
  Event(out, kCall, {kStopRecord, 0});
  Event(out, kCall, {kStartRecord, 0});
  if (encoder.nextBlock(block)) Event(out, kData, block);
  Event(out, kLost);
  Event(out, kCall, {kStartRecord, 0});
  Event(out, kConnect, {1});
  return out;
}

// Kind 5200 reconnecting (first byte: bit 1) while it records: the
// connection lost by the device, one redial, the stream going on.
Bytes Reconnecting5200() {
  Bytes out{1 | 2};
  Event(out, kCall, {kOpenChannel, 0});
  Event(out, kCall, {kStartRecord, 0});
  vkt::devsim::H264StreamEncoder encoder;
  Bytes block;
  if (encoder.open(2)) {
    for (int i = 0; i < 3 && encoder.nextBlock(block); ++i) Event(out, kData, block);
    Event(out, kLost, {1});
    Event(out, kReconnect);
    for (int i = 0; i < 3 && encoder.nextBlock(block); ++i) Event(out, kData, block);
  }
  return out;
}

}  // namespace

std::vector<Seed> SessionSeeds() {
  return {{"kind7100", Kind7100()}, {"kind5200", Kind5200()}, {"reconnecting5200", Reconnecting5200()}};
}

}  // namespace fuzz_seeds
