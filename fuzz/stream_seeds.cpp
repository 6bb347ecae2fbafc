// Stream and recording seeds: runs of the simulator's kind-5200 blocks (headers with
// parameter sets, key and other frames, audio boxes), whole, with spoilt
// boxes, and starting with a header that carries no parameter sets.
#include "block_stream.h"
#include "fuzz_seeds.h"
#include "h264_stream.h"
#include "stream_parser.h"

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
  return seeds;
}

}  // namespace fuzz_seeds
