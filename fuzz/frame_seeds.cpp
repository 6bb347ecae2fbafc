// Frame seeds: a chunk seed, then wire frames as a device sends them
// (login answer, device time, data blocks of several sizes), whole, with
// a bad header in the middle, out of sequence, and cut inside a payload.
#include "fuzz_seeds.h"
#include "wire/frame.h"

namespace fuzz_seeds {

namespace {

using Bytes = std::vector<uint8_t>;

void AppendFrame(Bytes& out, uint16_t type, uint8_t flags, uint32_t sequence, const Bytes& payload) {
  vkt::wire::FrameHeader header;
  header.type = type;
  header.flags = flags;
  header.payloadLength = static_cast<uint32_t>(payload.size());
  header.sequence = sequence;
  uint8_t raw[vkt::wire::kFrameHeaderSize];
  vkt::wire::encodeFrameHeader(header, raw);
  out.insert(out.end(), raw, raw + sizeof raw);
  out.insert(out.end(), payload.begin(), payload.end());
}

Bytes Frames(uint32_t chunkSeed, bool breakSequence) {
  Bytes out = {static_cast<uint8_t>(chunkSeed), static_cast<uint8_t>(chunkSeed >> 8),
               static_cast<uint8_t>(chunkSeed >> 16), static_cast<uint8_t>(chunkSeed >> 24)};
  uint32_t sequence = 0;
  AppendFrame(out, 1, 0, sequence++, Bytes(40, 0x11));
  AppendFrame(out, 85, 0, sequence++, {});
  for (uint32_t size : {0u, 1u, 17u, 700u, 3000u}) {
    if (breakSequence && size == 700u) ++sequence;
    AppendFrame(out, 0, vkt::wire::kFlagData, sequence++, Bytes(size, static_cast<uint8_t>(size)));
  }
  AppendFrame(out, 83, 0, sequence++, Bytes(8, 0x07));
  return out;
}

}  // namespace

std::vector<Seed> FrameSeeds() {
  std::vector<Seed> seeds;
  seeds.push_back({"whole", Frames(1, false)});
  seeds.push_back({"whole_other_chunks", Frames(0xA5A5A5A5u, false)});
  seeds.push_back({"out_of_sequence", Frames(7, true)});
  Bytes badHeader = Frames(3, false);
  badHeader[4 + 16 + 40 + 4] ^= 0xFF;  // the second frame's version
  seeds.push_back({"bad_header", badHeader});
  Bytes cut = Frames(5, false);
  cut.resize(cut.size() - 5);
  seeds.push_back({"cut", cut});
  return seeds;
}

}  // namespace fuzz_seeds
