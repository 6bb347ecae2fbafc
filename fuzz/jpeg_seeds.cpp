// JPEG seeds: every picture of the tests' corpus behind the controls of
// every following read, and the first pictures also with regions, other
// colours, row orders, inverse DCT and upsampling kinds, `interrupt` and
// `use_inner_fields`.
#include "fuzz_seeds.h"
#include "jpeg_corpus.h"
#include "jpeg_fuzz_controls.h"

namespace fuzz_seeds {

namespace {

Seed MakeSeed(const std::string& name, const jpeg_fuzz::Controls& controls, const std::vector<uint8_t>& jpeg) {
  Seed seed{name, std::vector<uint8_t>(controls.bytes, controls.bytes + jpeg_fuzz::kControlBytes)};
  seed.bytes.insert(seed.bytes.end(), jpeg.begin(), jpeg.end());
  return seed;
}

}  // namespace

std::vector<Seed> JpegSeeds() {
  using namespace jpeg_fuzz;
  std::vector<Seed> seeds;
  const std::vector<CorpusEntry> corpus = standard_corpus();
  for (const CorpusEntry& entry : corpus) {
    if (entry.bytes.empty()) continue;
    const uint32_t width = static_cast<uint32_t>(entry.options.width);
    const uint32_t height = static_cast<uint32_t>(entry.options.height);
    for (size_t read = 0; read < kFollowingReadCount; ++read)
      seeds.push_back(MakeSeed(entry.name + "_read" + std::to_string(read), PlainControls(read, width, height),
                               entry.bytes));
    const struct {
      const char* name;
      uint8_t flags;
      uint8_t colour;  // kPictureColors index | (channels - 1) << 3
    } variants[] = {
        {"region", kFlagRegion, 0 | 2 << 3},
        {"bottom_up_fast", kFlagBottomUp | kFlagFastDct | kFlagTriangle, 0 | 2 << 3},
        {"rgb", 0, 1 | 2 << 3},
        {"ycbcr_422", kFlagSubsampled, 2 | 1 << 3},
        {"grey", 0, 3 | 0 << 3},
        {"four", 0, 4 | 3 << 3},
        {"interrupt", kFlagInterrupt | kFlagRegion, 0 | 2 << 3},
        {"inner_fields", kFlagInnerFields, 0 | 2 << 3},
    };
    for (const auto& variant : variants) {
      Controls controls = PlainControls(0, width, height);
      controls.bytes[1] = variant.flags;
      controls.bytes[2] = variant.colour;
      controls.bytes[5] = 3;
      controls.bytes[6] = 0x11;
      controls.bytes[7] = 0x21;
      seeds.push_back(MakeSeed(entry.name + "_" + variant.name, controls, entry.bytes));
    }
  }
  return seeds;
}

}  // namespace fuzz_seeds
