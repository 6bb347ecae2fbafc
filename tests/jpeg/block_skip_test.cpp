// The block skipper against slot 56's decoder, block by block: the same
// bits taken, the same DC predictions and DC values, the same statuses, on
// every sequential stream of the corpus and on damaged ones (cut short,
// 0xFF bytes and markers in the middle of blocks, random data), on
// optimised tables with 16-bit codes, and on hand-made blocks whose runs
// pass position 63. The skipper is run one MCU per call and in batches,
// so that its local bit state also meets MCU and call boundaries.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "block_skip.h"
#include "entropy_decode.h"
#include "entropy_stream_writer.h"
#include "jpeg_corpus.h"
#include "jpeg_record.h"

namespace {

// The first scan of a sequential stream as the skipper sees it.
struct Scan {
  HuffmanTable dc[4]{};
  HuffmanTable ac[4]{};
  SkipTable skip[4]{};
  std::vector<int> block_component;  // scan component of each block of an MCU
  std::vector<int> dc_slot, ac_slot;  // per scan component
  uint32_t mcus = 0;
  size_t data = 0;  // offset of the entropy-coded data
};

uint32_t Div(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

// Reads the tables, frame and first scan header; false for a progressive
// stream or one without a scan.
bool ParseFirstScan(const std::vector<uint8_t>& jpeg, Scan& scan) {
  uint32_t width = 0, height = 0, h_max = 1, v_max = 1;
  int h[256] = {}, v[256] = {};
  size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    if (jpeg[i] != 0xFF) return false;
    const uint8_t code = jpeg[i + 1];
    const size_t length = (jpeg[i + 2] << 8) | jpeg[i + 3], body = i + 4, end = i + 2 + length;
    if (end > jpeg.size()) return false;
    if (code == 0xC2) return false;
    if (code == 0xC4) {
      for (size_t at = body; at + 17 <= end;) {
        const int table_class = jpeg[at] >> 4, id = jpeg[at] & 3;
        const uint8_t* counts = &jpeg[at + 1];
        const int values = huffman_value_count(counts);
        HuffmanTable& table = table_class == 0 ? scan.dc[id] : scan.ac[id];
        EXPECT_EQ(build_huffman_table(counts, &jpeg[at + 17], end - at - 17, table_class, id, &table), 0);
        at += 17 + static_cast<size_t>(values);
      }
    } else if (code == 0xC0 || code == 0xC1) {
      height = (jpeg[body + 1] << 8) | jpeg[body + 2];
      width = (jpeg[body + 3] << 8) | jpeg[body + 4];
      for (int c = 0; c < jpeg[body + 5]; ++c) {
        const uint8_t id = jpeg[body + 6 + 3 * c], factors = jpeg[body + 7 + 3 * c];
        h[id] = factors >> 4;
        v[id] = factors & 15;
        h_max = std::max<uint32_t>(h_max, h[id]);
        v_max = std::max<uint32_t>(v_max, v[id]);
      }
    } else if (code == 0xDA) {
      const int count = jpeg[body];
      for (int c = 0; c < count; ++c) {
        const uint8_t id = jpeg[body + 1 + 2 * c], tables = jpeg[body + 2 + 2 * c];
        scan.dc_slot.push_back(tables >> 4 & 3);
        scan.ac_slot.push_back(tables & 3);
        const int blocks = count == 1 ? 1 : h[id] * v[id];
        for (int b = 0; b < blocks; ++b) scan.block_component.push_back(c);
        if (count == 1) {
          scan.mcus = Div(Div(width * h[id], h_max), 8) * Div(Div(height * v[id], v_max), 8);
        }
      }
      if (count > 1) scan.mcus = Div(width, 8 * h_max) * Div(height, 8 * v_max);
      for (int t = 0; t < 4; ++t) build_skip_table(scan.ac[t], scan.skip[t]);
      scan.data = end;
      return true;
    }
    i = end;
  }
  return false;
}

// Bits taken from the data: its bytes before `in.next` (0xFF, fill bytes
// 0xFF and a stuffed 0x00 are one data byte; a marker ends the data) less
// the bits still buffered.
int64_t BitsTaken(const std::vector<uint8_t>& bytes, size_t data, const JpegInput& in) {
  const size_t end = static_cast<size_t>(in.next - bytes.data());
  int64_t data_bytes = 0;
  for (size_t i = data; i < end; ++i, ++data_bytes) {
    if (bytes[i] != 0xFF) continue;
    size_t code = i + 1;
    while (code < bytes.size() && bytes[code] == 0xFF) ++code;
    if (code >= bytes.size() || bytes[code] != 0x00) break;
    i = code;
  }
  return data_bytes * 8 - in.bit_count;
}

// Passes every MCU of `scan` in `bytes` with slot 56's decoder and with
// the skipper, `batch` MCUs per call, comparing after each call. One
// difference is allowed: where the data ends in a lone 0xFF, the ordinary
// reader reports it as soon as its read-ahead meets that byte, the skipper
// only when it needs the bits there; after the ordinary reader's error
// nothing is compared.
void ExpectSameAsDcOnly(const std::vector<uint8_t>& bytes, const Scan& scan, uint32_t batch) {
  const bool ends_in_ff = !bytes.empty() && bytes.back() == 0xFF;
  JpegInput ordinary{}, skipper{};
  input_reset_buffer(ordinary, bytes.data(), static_cast<uint32_t>(bytes.size()));
  input_reset_buffer(skipper, bytes.data(), static_cast<uint32_t>(bytes.size()));
  ordinary.next += scan.data;
  skipper.next += scan.data;
  int16_t ordinary_predictions[4] = {}, skipper_predictions[4] = {};
  std::vector<SkipBlock> blocks;
  for (const int c : scan.block_component) {
    const HuffmanTable& dc = scan.dc[scan.dc_slot[c]];
    const HuffmanTable& ac = scan.ac[scan.ac_slot[c]];
    blocks.push_back({&dc, &ac, &scan.skip[scan.ac_slot[c]], &skipper_predictions[c], empty_block_code(dc, ac)});
  }
  const uint32_t count = static_cast<uint32_t>(blocks.size());
  std::vector<int16_t> expected_values, values(static_cast<size_t>(batch) * count);
  for (uint32_t mcu = 0; mcu < scan.mcus; mcu += batch) {
    const uint32_t mcus = std::min(batch, scan.mcus - mcu);
    expected_values.clear();
    JpegStatus expected_status = 0;
    uint32_t expected_passed = 0;
    for (uint32_t m = 0; m < mcus && expected_status == 0; ++m) {
      for (uint32_t b = 0; b < count && expected_status == 0; ++b) {
        const int c = scan.block_component[b];
        int16_t dc_value = 0;
        expected_status = decode_block_dc_only(ordinary, scan.dc[scan.dc_slot[c]], scan.ac[scan.ac_slot[c]],
                                               ordinary_predictions[c], dc_value);
        expected_values.push_back(dc_value);
      }
      if (expected_status == 0) ++expected_passed;
    }
    uint32_t passed = 0;
    const JpegStatus status = skip_blocks(skipper, blocks.data(), count, mcus, values.data(), passed);
    if (ends_in_ff && expected_status < 0) return;
    ASSERT_EQ(status, expected_status) << "MCUs from " << mcu;
    ASSERT_EQ(passed, expected_passed) << "MCUs from " << mcu;
    for (size_t v = 0; v < expected_passed * count; ++v) ASSERT_EQ(values[v], expected_values[v]) << "block " << v;
    ASSERT_EQ(BitsTaken(bytes, scan.data, skipper), BitsTaken(bytes, scan.data, ordinary)) << "MCUs from " << mcu;
    for (int c = 0; c < 4; ++c) ASSERT_EQ(skipper_predictions[c], ordinary_predictions[c]) << "MCUs from " << mcu;
    if (status != 0) return;
  }
}

void ExpectSameAsDcOnly(const std::vector<uint8_t>& bytes, const Scan& scan) {
  for (const uint32_t batch : {1u, 7u, 1u << 20}) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    ExpectSameAsDcOnly(bytes, scan, batch);
  }
}

std::vector<CorpusEntry> SequentialStreams() {
  std::vector<CorpusEntry> streams;
  for (CorpusEntry& entry : standard_corpus()) {
    if (!entry.options.progressive) streams.push_back(entry);
  }
  // Tables fitted to the picture have codes up to 16 bits.
  for (const Sampling sampling : {Sampling::k420, Sampling::k444}) {
    EncodeOptions options;
    options.optimize = true;
    options.sampling = sampling;
    options.width = 96;
    options.quality = 97;
    streams.push_back({"optimised", options, encode_jpeg(options)});
  }
  EncodeOptions grey;
  grey.components = 1;
  grey.quality = 100;
  grey.width = 120;
  streams.push_back({"grey_q100", grey, encode_jpeg(grey)});
  return streams;
}

TEST(BlockSkip, TakesTheBitsAndPredictionsOfTheDcOnlyDecoderOnTheCorpus) {
  for (const CorpusEntry& entry : SequentialStreams()) {
    SCOPED_TRACE(entry.name);
    Scan scan;
    ASSERT_TRUE(ParseFirstScan(entry.bytes, scan));
    ExpectSameAsDcOnly(entry.bytes, scan);
  }
}

TEST(BlockSkip, TakesTheBitsOfTheDcOnlyDecoderOnDamagedData) {
  std::mt19937 random(20261208);
  for (const CorpusEntry& entry : SequentialStreams()) {
    SCOPED_TRACE(entry.name);
    Scan scan;
    ASSERT_TRUE(ParseFirstScan(entry.bytes, scan));
    const size_t data_bytes = entry.bytes.size() - 2 - scan.data;  // without EOI
    for (int trial = 0; trial < 24; ++trial) {
      std::vector<uint8_t> jpeg = entry.bytes;
      const size_t at = scan.data + random() % data_bytes;
      switch (trial % 6) {
        case 0:  // the data cut short, without a marker
          jpeg.resize(at);
          break;
        case 1:  // a restart marker inside a block
          jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(at), {0xFF, static_cast<uint8_t>(0xD0 + trial % 8)});
          break;
        case 2:  // EOI and fill bytes inside a block
          jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(at), {0xFF, 0xFF, 0xD9});
          break;
        case 3:  // 0xFF data bytes, stuffed or not
          for (int i = 0; i < 6; ++i) jpeg[scan.data + random() % data_bytes] = 0xFF;
          break;
        case 4:  // random data from here on
          for (size_t i = at; i < jpeg.size(); ++i) jpeg[i] = static_cast<uint8_t>(random());
          break;
        case 5:  // a cut just after a 0xFF
          jpeg.resize(at);
          jpeg.push_back(0xFF);
          break;
      }
      SCOPED_TRACE("trial " + std::to_string(trial) + " at " + std::to_string(at));
      ExpectSameAsDcOnly(jpeg, scan);
    }
  }
}

// Hand-made blocks for the cases an encoder rarely writes: runs that end
// at 63 without an end of block, ZRLs and runs that pass 63, 16-bit codes
// (the end of block among them), magnitudes of 15 bits, invalid codes, and
// a 13-bit code whose magnitude the marker cuts one bit short.
TEST(BlockSkip, RunsPastTheBlockEndAndLongCodes) {
  const std::vector<uint8_t> dc_counts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 4};
  const std::vector<uint8_t> dc_values = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  // AC codes of 2 to 16 bits; EOB, ZRL and 0xFF (run 15, size 15) among
  // the 16-bit ones; the all-ones 16-bit code is left out (invalid).
  const std::vector<uint8_t> ac_counts = {0, 2, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 4};
  const std::vector<uint8_t> ac_values = {0x01, 0x11, 0x3F, 0xE2, 0x0A, 0x21, 0x02, 0x1F, 0x00, 0xF0, 0xFF, 0x0F};
  const HuffmanEncoder dc_code(dc_counts, dc_values), ac_code(ac_counts, ac_values);
  using Block = std::vector<uint8_t>;  // AC symbols; magnitudes are all-ones
  const Block blocks[] = {
      {0x00},
      {0xF0, 0xF0, 0xF0, 0xE2, 0x3F, 0x01},        // 1+48+15 = 64: ends at 63, no EOB
      {0xF0, 0xF0, 0xF0, 0xF0, 0x01},              // ZRLs past 63, then codes of the next block
      {0xFF, 0xFF, 0xFF, 0xFF, 0x00},              // run 15, size 15: past 63
      {0x01, 0x11, 0x0A, 0x0F, 0x21, 0x02, 0x00},  // long magnitudes
      {0x3F, 0x3F, 0x3F, 0x3F, 0x00},
      Block(63, 0x01),  // 63 coefficients: no end of block
  };
  EntropyStreamWriter out;
  const auto put = [&](const HuffmanEncoder& code, uint8_t symbol) {
    code.Put(out, symbol);
    out.PutBits(0xFFFF, symbol & 0x0F);
  };
  Scan scan;
  scan.dc[0] = make_huffman_table(dc_counts, dc_values, 0);
  scan.ac[0] = make_huffman_table(ac_counts, ac_values, 1);
  build_skip_table(scan.ac[0], scan.skip[0]);
  scan.block_component = {0};
  scan.dc_slot = scan.ac_slot = {0};
  for (int round = 0; round < 9; ++round) {
    for (const Block& block : blocks) {
      put(dc_code, static_cast<uint8_t>((round * 5 + block.size()) % 16));
      for (const uint8_t symbol : block) put(ac_code, symbol);
      ++scan.mcus;
    }
    out.PutBits(0xFFFF, 16);  // an invalid code: 16 bits that decode as EOB
    ++scan.mcus;
    out.PutBits(0, round);    // the next round at other bit positions
  }
  out.PutMarker(0xD9);
  ExpectSameAsDcOnly(out.bytes(), scan);
  // One block at the data's end: a 13-bit code whose 15-bit magnitude the
  // marker cuts one bit short, reached with exactly 27 bits in hand.
  out = EntropyStreamWriter();
  put(dc_code, 0);
  while ((out.pending_bits() + 27) % 8 != 0) put(ac_code, 0x01);
  ac_code.Put(out, 0x1F);
  out.PutBits(0x3FFF, 14);
  out.PutMarker(0xD9);
  scan.mcus = 1;
  ExpectSameAsDcOnly(out.bytes(), scan);
}

}  // namespace
