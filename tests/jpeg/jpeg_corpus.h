// Test corpus of JPEG streams made by libjpeg's compressor, and libjpeg's
// decoder as the reference to compare against. Shared by the decoder's
// tests (parser, entropy, reconstruction) and by corpus_writer, which
// writes the same files as fuzzing seeds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class Sampling { k444, k422, k420 };

struct EncodeOptions {
  int width = 64;
  int height = 48;
  int components = 3;  // 1 (grey) or 3 (YCbCr)
  Sampling sampling = Sampling::k420;
  int quality = 75;
  bool progressive = false;
  // Quantisers above 255 (16-bit DQT) make libjpeg write an extended
  // sequential (SOF1) frame instead of a baseline one.
  bool extended = false;
  int restart_interval = 0;  // in MCUs, 0 = none
  bool write_jfif = true;
  std::string comment;  // written as a COM segment when not empty
};

// A deterministic picture with edges, gradients and colour, so that every
// coefficient band carries data.
std::vector<uint8_t> make_test_pattern(int width, int height, int components);

// Compresses make_test_pattern(...) with the given options.
std::vector<uint8_t> encode_jpeg(const EncodeOptions& options);

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
