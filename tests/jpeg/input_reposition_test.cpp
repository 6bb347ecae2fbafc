// Buffer and file input: segments that straddle file buffer refills, and
// the repositioning of a parameter read at its first scan for buffer and
// file input.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "jpeg_corpus.h"
#include "marker_stream.h"
#include "temp_file.h"

namespace {

// Offset of the first SOS marker of a well-formed stream.
size_t first_sos_offset(const std::vector<uint8_t>& bytes) {
  size_t i = 2;
  while (i + 4 <= bytes.size() && !(bytes[i] == 0xFF && bytes[i + 1] == 0xDA)) {
    i += 2 + (static_cast<size_t>(bytes[i + 2]) << 8 | bytes[i + 3]);
  }
  return i;
}

int64_t file_position(HANDLE file) {
  LONG high = 0;
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
}

// A picture whose first scan lies beyond the first 4096-byte file buffer,
// behind comments that straddle refills.
std::vector<uint8_t> picture_behind_comments(std::string& first_comment) {
  EncodeOptions options;
  options.comment = std::string(3000, 'a') + std::string(3000, 'b');
  first_comment = options.comment;
  std::vector<uint8_t> bytes = encode_jpeg(options);
  EXPECT_GT(first_sos_offset(bytes), 2 * kFileBufferBytes - 2000);
  return bytes;
}

TEST(JpegInput, FileSegmentsStraddlingRefillsReadWhole) {
  std::string comment;
  const std::vector<uint8_t> bytes = picture_behind_comments(comment);
  TempFile file(bytes);
  std::vector<uint8_t> buffer(8000);
  DecoderRecord record;
  record->jpeg_file_name = file.path();
  record->jpeg_comment = buffer.data();
  record->jpeg_comment_size = static_cast<uint16_t>(buffer.size());
  ASSERT_EQ(JpegRead(record.get(), READ_PARAMS_FILE), JPEG_SUCCESS);
  ASSERT_EQ(record->jpeg_comment_size, comment.size());
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + comment.size()), comment);
  EXPECT_EQ(record->jpeg_width, 64u);
  EXPECT_EQ(record->jpeg_height, 48u);
}

TEST(JpegInput, FileParameterReadStopsAtTheFirstScan) {
  std::string comment;
  const std::vector<uint8_t> bytes = picture_behind_comments(comment);
  TempFile file(bytes);
  DecoderRecord record;
  record->jpeg_file_name = file.path();
  ASSERT_EQ(JpegRead(record.get(), READ_PARAMS_FILE), JPEG_SUCCESS);
  ASSERT_NE(record.state().file, nullptr);
  EXPECT_EQ(file_position(record.state().file), static_cast<int64_t>(first_sos_offset(bytes)));
  // A second parameter read of the same record starts again at SOI.
  record->jpeg_width = 0;
  ASSERT_EQ(JpegRead(record.get(), READ_PARAMS_FILE), JPEG_SUCCESS);
  EXPECT_EQ(record->jpeg_width, 64u);
  EXPECT_EQ(file_position(record.state().file), static_cast<int64_t>(first_sos_offset(bytes)));
}

TEST(JpegInput, BufferParameterReadStopsAtTheFirstScan) {
  const std::vector<uint8_t> bytes = encode_jpeg(EncodeOptions{});
  DecoderRecord record;
  ASSERT_EQ(record.read_buffer(bytes), JPEG_SUCCESS);
  const size_t sos = first_sos_offset(bytes);
  EXPECT_EQ(record.state().fields.jpeg_bytes, bytes.data() + sos);
  EXPECT_EQ(record.state().fields.jpeg_size_bytes, bytes.size() - sos);
  EXPECT_EQ(record.state().ops.last_sos_length, 2 + 12u);  // marker, and L for three components
  // The caller's fields are untouched: an image read starts from the first byte.
  EXPECT_EQ(record->jpeg_bytes, bytes.data());
  EXPECT_EQ(record->jpeg_size_bytes, bytes.size());
}

TEST(JpegInput, HeaderReadStopsAtTheFrame) {
  const std::vector<uint8_t> bytes = MarkerStream().soi().dqt(0).dht(0x00).grey_image().eoi().bytes();
  DecoderRecord record;
  ASSERT_EQ(record.read_buffer(bytes, READ_HEADER_BUFFER), JPEG_SUCCESS);
  EXPECT_EQ(record.state().frame_pending, 1u);
  const uint8_t* stop = record.state().fields.jpeg_bytes;
  EXPECT_EQ(stop[0], 0xFF);
  EXPECT_EQ(stop[1], 0xC0);
  EXPECT_EQ(record.state().quant_tables_read, 2u);
}

TEST(JpegInput, ImageReadAfterAParameterReadParsesAgain) {
  const std::vector<uint8_t> bytes = encode_jpeg(EncodeOptions{});
  std::vector<uint8_t> picture(64 * 48 * 3);
  DecoderRecord first, fresh;
  ASSERT_EQ(first.read_buffer(bytes), JPEG_SUCCESS);
  for (DecoderRecord* record : {&first, &fresh}) {
    (*record)->picture_bytes = picture.data();
    (*record)->picture_width = 64;
    (*record)->picture_height = 48;
  }
  EXPECT_EQ(first.read_buffer(bytes, READ_IMAGE_BUFFER), JPEG_SUCCESS);
  const std::vector<uint8_t> after_params = picture;
  EXPECT_EQ(fresh.read_buffer(bytes, READ_IMAGE_BUFFER), JPEG_SUCCESS);
  EXPECT_EQ(after_params, picture);
}

TEST(JpegInput, ImageWithoutEndMarkerRunsOutWhileSearching) {
  std::vector<uint8_t> bytes = encode_jpeg(EncodeOptions{});
  bytes.resize(bytes.size() - 2);
  std::vector<uint8_t> picture(64 * 48 * 3);
  DecoderRecord record;
  record->picture_bytes = picture.data();
  record->picture_width = 64;
  record->picture_height = 48;
  EXPECT_EQ(record.read_buffer(bytes, READ_IMAGE_BUFFER), JPEG_ERR_MEMORY);
}

}  // namespace
