// The bit reader: byte stuffing, markers inside entropy data, the end of
// buffer and file input, and agreement of the fast and exact fill paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bit_reader.h"

namespace {

// A name no other run of this suite uses: the suite runs once per processor
// kind, in parallel.
std::string unique_temp_path(const char* stem) {
  return ::testing::TempDir() + stem + "_" + std::to_string(std::random_device{}()) + ".bin";
}

class EntropyBitReader : public ::testing::Test {
 protected:
  void Use(const std::vector<uint8_t>& bytes) {
    bytes_ = bytes;
    input_reset_buffer(input_, bytes_.data(), static_cast<uint32_t>(bytes_.size()));
  }
  std::vector<uint8_t> bytes_;
  JpegInput input_{};
};

TEST_F(EntropyBitReader, StuffedFFIsADataByte) {
  Use({0xFF, 0x00, 0x12, 0xFF, 0x00});
  BitReader bits(input_);
  uint32_t value = 0;
  ASSERT_EQ(bits.read(8, value), 0);
  EXPECT_EQ(value, 0xFFu);
  ASSERT_EQ(bits.read(16, value), 0);
  EXPECT_EQ(value, 0x12FFu);
  EXPECT_EQ(input_.pending_marker, 0);
}

TEST_F(EntropyBitReader, FillBytesThenMarkerLeaveThePendingMarker) {
  Use({0xAB, 0xFF, 0xFF, 0xD0, 0x55});
  {
    BitReader bits(input_);
    uint32_t value = 0;
    ASSERT_EQ(bits.read(4, value), 0);
    EXPECT_EQ(value, 0xAu);
    EXPECT_EQ(input_.pending_marker, 0xD0);
    // The bits before the marker are still there; one more is not.
    ASSERT_EQ(bits.read(4, value), 0);
    EXPECT_EQ(value, 0xBu);
    EXPECT_EQ(bits.read(1, value), kMarkerReached);
  }
  // The marker's bytes are taken; the byte after it is not.
  EXPECT_EQ(input_.position, 4);
  EXPECT_EQ(*input_.next, 0x55);
}

TEST_F(EntropyBitReader, BufferEndReadsAsZeroBitsButAnFFThereIsAnError) {
  Use({0xA5});
  {
    BitReader bits(input_);
    uint32_t value = 0;
    ASSERT_EQ(bits.read(8, value), 0);
    EXPECT_EQ(value, 0xA5u);
    ASSERT_EQ(bits.read(16, value), 0);
    EXPECT_EQ(value, 0u);
  }
  Use({0x12, 0xFF});
  BitReader bits(input_);
  uint32_t value = 0;
  EXPECT_EQ(bits.read(8, value), JPEG_ERR_DATA);
}

// Random entropy data with many 0xFF bytes, stuffed, ending in a marker.
struct StuffedStream {
  std::vector<uint8_t> data;     // unstuffed bytes
  std::vector<uint8_t> encoded;  // as stored in a JPEG stream
};

StuffedStream MakeStuffedStream(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  StuffedStream stream;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t byte = random() % 4 == 0 ? 0xFF : static_cast<uint8_t>(random());
    stream.data.push_back(byte);
    stream.encoded.push_back(byte);
    if (byte == 0xFF) stream.encoded.push_back(0x00);
  }
  stream.encoded.push_back(0xFF);
  stream.encoded.push_back(0xD9);
  return stream;
}

// Reads the stream in pieces of 1..16 bits, checking each piece against the
// unstuffed data, then checks that the next bit reports the marker.
void ExpectSameBits(JpegInput& input, const StuffedStream& stream, uint32_t seed) {
  std::mt19937 random(seed);
  const size_t total_bits = stream.data.size() * 8;
  size_t at = 0;
  BitReader bits(input);
  while (at < total_bits) {
    const int n = static_cast<int>(std::min<size_t>(1 + random() % 16, total_bits - at));
    uint32_t expected = 0;
    for (int i = 0; i < n; ++i, ++at)
      expected = (expected << 1) | ((stream.data[at / 8] >> (7 - at % 8)) & 1);
    uint32_t value = 0;
    ASSERT_EQ(bits.read(n, value), 0) << "at bit " << at;
    ASSERT_EQ(value, expected) << "at bit " << at;
  }
  uint32_t value = 0;
  EXPECT_EQ(bits.read(1, value), kMarkerReached);
  EXPECT_EQ(input.pending_marker, 0xD9);
}

TEST_F(EntropyBitReader, FastAndExactPathsAgreeOnStuffedData) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const StuffedStream stream = MakeStuffedStream(300 + seed * 37, seed);
    Use(stream.encoded);
    ExpectSameBits(input_, stream, seed * 11);
    EXPECT_EQ(input_.position, static_cast<int64_t>(stream.encoded.size()));
  }
}

TEST_F(EntropyBitReader, FileInputRefillsAcrossStuffedPairs) {
  // Long enough for several 4096-byte refills, so that stuffed pairs and the
  // final marker straddle buffer boundaries for some seeds.
  const std::string path = unique_temp_path("entropy_bit_reader_file");
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const StuffedStream stream = MakeStuffedStream(9000 + seed * 1031, seed);
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(stream.encoded.data(), 1, stream.encoded.size(), file);
    std::fclose(file);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    input_reset_file(input_, handle, 0);
    ExpectSameBits(input_, stream, seed);
    EXPECT_EQ(input_.position, static_cast<int64_t>(stream.encoded.size()));
    {
      // Past the marker the file has nothing more: a read that needs bits
      // reports the marker, not the end of the file.
      BitReader bits(input_);
      uint32_t value = 0;
      EXPECT_EQ(bits.read(8, value), kMarkerReached);
    }
    CloseHandle(handle);
  }
  std::remove(path.c_str());
}

TEST_F(EntropyBitReader, FileThatEndsInsideEntropyDataIsAFileError) {
  const std::string path = unique_temp_path("entropy_bit_reader_short");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const uint8_t data[] = {0x12, 0x34};
  std::fwrite(data, 1, sizeof data, file);
  std::fclose(file);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  input_reset_file(input_, handle, 0);
  {
    BitReader bits(input_);
    uint32_t value = 0;
    ASSERT_EQ(bits.read(16, value), 0);  // the file's bytes come first
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(bits.read(1, value), JPEG_ERR_FILE);
  }
  CloseHandle(handle);
  std::remove(path.c_str());
}

}  // namespace
