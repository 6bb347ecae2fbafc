// Corrupt entropy-coded data: every damaged stream must end with a status
// of the decoder's vocabulary (the bit reader's internal "marker reached"
// never escapes), without reading or writing outside a buffer (the suite
// also runs under AddressSanitizer) and without hanging.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "jpeg_corpus.h"
#include "jpeg_record.h"
#include "vktjpeg.h"

namespace {

// Offset of the first byte after the first SOS segment.
size_t FirstScanData(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
  }
  return jpeg.size();
}

JpegStatus DecodeKeepingCoefficients(const std::vector<uint8_t>& jpeg, int width, int height) {
  JPEG_PROPERTIES properties{};
  EXPECT_EQ(JpegInit(&properties), JPEG_SUCCESS);
  state_of(properties).keep_coefficients = 1;
  std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3);
  properties.jpeg_bytes = jpeg.data();
  properties.jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
  properties.picture_bytes = picture.data();
  properties.picture_width = static_cast<uint32_t>(width);
  properties.picture_height = height;
  const JpegStatus status = JpegRead(&properties, READ_IMAGE_BUFFER);
  EXPECT_EQ(JpegFree(&properties), JPEG_SUCCESS);
  return status;
}

void ExpectKnownStatus(JpegStatus status, const char* what, size_t at) {
  EXPECT_TRUE(status == JPEG_SUCCESS || (status < 0 && std::strcmp(JpegErrorText(status), "Unknown error code") != 0))
      << what << " at " << at << ": status " << status;
}

TEST(EntropyCorrupt, DamagedScanDataEndsWithAKnownStatus) {
  std::mt19937 random(20240607);
  for (const CorpusEntry& entry : standard_corpus()) {
    SCOPED_TRACE(entry.name);
    ASSERT_FALSE(entry.bytes.empty());
    const size_t data = FirstScanData(entry.bytes);
    ASSERT_LT(data, entry.bytes.size());
    const size_t data_bytes = entry.bytes.size() - data;
    for (int trial = 0; trial < 40; ++trial) {
      std::vector<uint8_t> jpeg = entry.bytes;
      const size_t at = data + random() % data_bytes;
      switch (trial % 4) {
        case 0:  // a few flipped bits
          for (int i = 0; i < 3; ++i) jpeg[data + random() % data_bytes] ^= static_cast<uint8_t>(1u << (random() % 8));
          break;
        case 1:  // a run of 0xFF bytes: long codes, fill bytes, marker look-alikes
          for (size_t i = at; i < std::min(jpeg.size(), at + 1 + random() % 12); ++i) jpeg[i] = 0xFF;
          break;
        case 2:  // a marker inside the data
          jpeg[at] = 0xFF;
          if (at + 1 < jpeg.size()) jpeg[at + 1] = static_cast<uint8_t>(random() % 2 ? 0xD0 + random() % 8 : 0xD9);
          break;
        default:  // the stream cut short
          jpeg.resize(at);
          break;
      }
      ExpectKnownStatus(DecodeKeepingCoefficients(jpeg, entry.options.width, entry.options.height),
                        "damage", at);
    }
  }
}

TEST(EntropyCorrupt, RandomScanDataAfterValidHeaders) {
  std::mt19937 random(7);
  for (const CorpusEntry& entry : standard_corpus()) {
    SCOPED_TRACE(entry.name);
    const size_t data = FirstScanData(entry.bytes);
    std::vector<uint8_t> jpeg(entry.bytes.begin(), entry.bytes.begin() + static_cast<ptrdiff_t>(data));
    for (int i = 0; i < 600; ++i) jpeg.push_back(static_cast<uint8_t>(random()));
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    ExpectKnownStatus(DecodeKeepingCoefficients(jpeg, entry.options.width, entry.options.height), "noise",
                      data);
  }
}

}  // namespace
