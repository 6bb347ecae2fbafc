// Stream and recording seeds: runs of the simulator's kind-5200 blocks (headers with
// parameter sets, key and other frames, audio boxes), whole, with spoilt
// boxes, and starting with a header that carries no parameter sets; and
// recordings of streams with B-frames and a picture size change, whole,
// spoilt and cut inside a B-frame group, for the reader's resumption and
// the export plan.
#include "annex_b_recording.h"
#include "block_stream.h"
#include "fuzz_seeds.h"
#include "h264_stream.h"
#include "stream_parser.h"
#include "tests/common/h264_test_encoder.h"

namespace fuzz_seeds {

namespace {

std::vector<std::vector<uint8_t>> EncodeBlocks(int keyInterval, int count) {
  std::vector<std::vector<uint8_t>> blocks;
  vkt::devsim::H264StreamEncoder encoder;
  if (!encoder.open(keyInterval)) return blocks;
  std::vector<uint8_t> block;
  for (int i = 0; i < count && encoder.nextBlock(block); ++i) blocks.push_back(block);
  return blocks;
}

std::vector<uint8_t> Pieces(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> out;
  for (const auto& block : blocks) fuzz_input::AppendPiece(out, block.data(), block.size());
  return out;
}

// A high-profile stream with 3 B-frames, then a smaller one: a size change.
std::vector<uint8_t> BFramesThenSmaller() {
  std::vector<uint8_t> stream;
  const vkt::test::H264TestSettings parts[] = {{64, 48, 8, "ultrafast", nullptr, "high", 3, 0, "b-adapt=0"},
                                               {32, 32, 8, "ultrafast", nullptr, "main", 2, 2, nullptr}};
  for (const vkt::test::H264TestSettings& part : parts) {
    const std::vector<uint8_t> encoded =
        vkt::test::encodeH264(part, 12, [](int index, uint8_t* const planes[3], const int strides[3]) {
          for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < 16; ++y)
              for (int x = 0; x < 16; ++x) planes[plane][y * strides[plane] + x] = static_cast<uint8_t>(x * y + index);
        });
    stream.insert(stream.end(), encoded.begin(), encoded.end());
  }
  return stream;
}

}  // namespace

std::vector<Seed> StreamSeeds() {
  std::vector<Seed> seeds;
  const auto blocks = EncodeBlocks(3, 7);
  if (blocks.empty()) return seeds;
  seeds.push_back({"whole", Pieces(blocks)});
  auto spoilt = blocks;
  for (size_t i = 1; i < spoilt.size(); ++i) vkt::devsim::corruptBlock(spoilt[i], static_cast<uint32_t>(i));
  seeds.push_back({"spoilt", Pieces(spoilt)});
  auto noSets = blocks;
  noSets.insert(noSets.begin(), blocks.front());
  noSets.front()[kRvdxParameterLengthOffset] = 0;
  seeds.push_back({"header_without_sets_first", Pieces(noSets)});
  auto late = blocks;
  late.erase(late.begin());  // boxes before the first header
  late.push_back(blocks.front());
  seeds.push_back({"header_late", Pieces(late)});
  return seeds;
}

// A recording holds the blocks as they came, one after another.
std::vector<Seed> RecordingSeeds() {
  std::vector<Seed> seeds;
  std::vector<uint8_t> recording;
  for (const auto& block : EncodeBlocks(3, 7)) recording.insert(recording.end(), block.begin(), block.end());
  if (recording.empty()) return seeds;
  seeds.push_back({"whole", recording});
  seeds.push_back({"cut", std::vector<uint8_t>(recording.begin(), recording.begin() + recording.size() / 2)});
  // Garbage in the middle, then a gap box and a restart of the timestamps:
  // the resynchronisation and the timeline's mending.
  std::vector<uint8_t> resync = recording;
  resync.insert(resync.begin() + static_cast<ptrdiff_t>(resync.size() / 3), 61, 0x5A);
  uint8_t gap[kGapBoxSize];
  MakeGapBox(7000, gap);
  resync.insert(resync.end(), std::begin(gap), std::end(gap));
  resync.insert(resync.end(), recording.begin(), recording.end());
  seeds.push_back({"resync_gap_restart", resync});
  const std::vector<uint8_t> stream = BFramesThenSmaller();
  if (stream.empty()) return seeds;
  seeds.push_back({"b_frames_size_change", vkt::devsim::recordAnnexB(stream, 0)});
  seeds.push_back({"b_frames_cut_in_group", vkt::devsim::recordAnnexB(stream, 6)});
  std::vector<uint8_t> spoilt = seeds.back().bytes;
  spoilt[512 + 3] ^= 0x40;  // the first picture's box size no longer matches its units
  seeds.push_back({"b_frames_spoilt", spoilt});
  return seeds;
}

}  // namespace fuzz_seeds
