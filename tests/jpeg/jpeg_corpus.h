// Test corpus of JPEG streams made by libjpeg's compressor, and libjpeg's
// decoder as the reference to compare against. Shared by the decoder's
// tests (parser, entropy, reconstruction) and by corpus_writer, which
// writes the same files as fuzzing seeds.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class Sampling { k444, k422, k420 };

// One scan of a custom scan script: component indices and T.81's
// Ss, Se, Ah, Al.
struct ScanEntry {
  std::vector<int> components;
  int ss = 0;
  int se = 63;
  int ah = 0;
  int al = 0;
};

struct EncodeOptions {
  int width = 64;
  int height = 48;
  int components = 3;  // 1 (grey), 3 (YCbCr) or 4 (CMYK)
  Sampling sampling = Sampling::k420;
  // Per-component (H, V) factors; when not empty they replace `sampling`
  // and give the component count.
  std::vector<std::pair<int, int>> factors;
  std::vector<ScanEntry> scans;  // custom scan script when not empty
  bool optimize = false;         // image-specific Huffman tables, longer codes
  int quality = 75;
  bool progressive = false;
  // Quantisers above 255 (16-bit DQT) make libjpeg write an extended
  // sequential (SOF1) frame instead of a baseline one.
  bool extended = false;
  int restart_interval = 0;  // in MCUs, 0 = none
  bool write_jfif = true;
  bool ycck = false;  // four components stored as YCCK (Adobe transform 2)
  std::string comment;  // written as a COM segment when not empty
};

// A deterministic picture with edges, gradients and colour, so that every
// coefficient band carries data.
std::vector<uint8_t> make_test_pattern(int width, int height, int components);

// Compresses make_test_pattern(...) with the given options; empty when
// libjpeg refuses them.
std::vector<uint8_t> encode_jpeg(const EncodeOptions& options);
// The same for the caller's pixels (width x height x component count bytes).
std::vector<uint8_t> encode_pixels(const EncodeOptions& options, const std::vector<uint8_t>& pixels);

// The stream with its DHT segments taken out, as cameras send frames.
std::vector<uint8_t> without_huffman_tables(const std::vector<uint8_t>& jpeg);

struct CorpusEntry {
  std::string name;  // file-name friendly, e.g. "baseline_420"
  EncodeOptions options;
  std::vector<uint8_t> bytes;
};

// Baseline, extended sequential, progressive, restart intervals, 4:4:4,
// 4:2:2, 4:2:0 and grey, at sizes that are and are not MCU multiples.
std::vector<CorpusEntry> standard_corpus();

struct ReferenceImage {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<uint8_t> pixels;  // rows top first, components interleaved
};

// Header only (pixels left empty), or the whole image with `decode_pixels`.
// Returns false when libjpeg refuses the stream.
bool decode_with_libjpeg(const std::vector<uint8_t>& jpeg, ReferenceImage& image, bool decode_pixels);
