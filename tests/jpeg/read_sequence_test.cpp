// Reads in sequence on one record: region reads against the cut of a
// whole read (first and repeated reads through the resume table, restart
// intervals jumped by their markers, another stream in the same buffer or
// file), interrupted reads continued to the end, the orders of file and
// buffer reads, and records driven with arbitrary field values.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "jpeg_corpus.h"
#include "marker_stream.h"
#include "temp_file.h"
#include "recon_reference.h"
#include "resume_table.h"

namespace {

Picture crop(const Picture& whole, const JpegRegion& r) {
  Picture part{r.right - r.left, r.bottom - r.top, whole.channels, {}};
  for (int y = r.top; y < r.bottom; ++y) {
    const uint8_t* row = &whole.bytes[(static_cast<size_t>(y) * whole.width + r.left) * whole.channels];
    part.bytes.insert(part.bytes.end(), row, row + static_cast<size_t>(part.width) * whole.channels);
  }
  return part;
}

// 200x168: 13 x 11 MCUs of 16x16 in 4:2:0.
EncodeOptions options_of(Sampling sampling, int restart_interval, int components = 3) {
  EncodeOptions o;
  o.width = 200;
  o.height = 168;
  o.sampling = sampling;
  o.restart_interval = restart_interval;
  o.components = components;
  return o;
}

// One read on a record: the picture sized for `region` (or the reduced
// image), from the buffer or, for even modes, from `file`.
struct Reader {
  DecoderRecord record;
  const char* file = nullptr;

  JpegStatus read(const std::vector<uint8_t>& jpeg, JpegReadMode mode, JpegRegion region, Picture& out,
                  int image_width, int image_height) {
    const int scale = scale_of_mode(mode);
    const bool cut = region.right != 0 || region.bottom != 0;
    out.width = cut ? region.right - region.left : (image_width + scale - 1) / scale;
    out.height = cut ? region.bottom - region.top : (image_height + scale - 1) / scale;
    out.channels = 3;
    out.bytes.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
    record->jpeg_bytes = jpeg.data();
    record->jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
    record->jpeg_file_name = file;
    record->picture_bytes = out.bytes.data();
    record->picture_width = static_cast<uint32_t>(out.width);
    record->picture_height = out.height;
    record->region = region;
    return JpegRead(record.get(), mode);
  }
};

// Points the record at a picture of `channels` bytes a pixel in `color`.
void DeclarePicture(DecoderRecord& record, std::vector<uint8_t>& picture, uint32_t width, int32_t height,
                    JpegColor color, uint32_t channels) {
  record->picture_bytes = picture.data();
  record->picture_width = width;
  record->picture_height = height;
  record->picture_color = color;
  record->picture_channels = channels;
}

Picture whole_picture(const std::vector<uint8_t>& jpeg, JpegReadMode mode = READ_IMAGE_BUFFER) {
  ReadSettings settings;
  settings.mode = mode;
  const OurRead whole = decode_ours(jpeg, settings);
  EXPECT_EQ(whole.status, JPEG_SUCCESS);
  return whole.picture;
}

TEST(RegionReads, EqualTheCutOfTheWholeReadFirstAndRepeated) {
  struct Case {
    const char* name;
    EncodeOptions options;
  };
  // Restart intervals shorter than a row, of exactly one row, and across
  // rows, so that jumps land inside, at the start of and across rows.
  const Case cases[] = {
      {"420", options_of(Sampling::k420, 0)},        {"420 restart 5", options_of(Sampling::k420, 5)},
      {"422 restart 13", options_of(Sampling::k422, 13)}, {"444 restart 30", options_of(Sampling::k444, 30)},
      {"grey restart 7", options_of(Sampling::k444, 7, 1)},
  };
  // Middle, top, bottom, then the middle and the bottom again (from the
  // table), an unaligned one across rows and the bottom-right corner.
  const JpegRegion regions[] = {{48, 64, 112, 112}, {0, 0, 64, 32},     {130, 140, 200, 168}, {48, 64, 112, 112},
                                {130, 140, 200, 168}, {17, 23, 181, 97}, {199, 167, 200, 168}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> jpeg = encode_jpeg(c.options);
    const Picture whole = whole_picture(jpeg);
    for (const char* source : {"buffer", "file"}) {
      SCOPED_TRACE(source);
      TempFile file(jpeg);
      Reader reader;
      reader.file = file.path();
      const JpegReadMode mode = source[0] == 'b' ? READ_IMAGE_BUFFER : READ_IMAGE_FILE;
      for (const JpegRegion& region : regions) {
        Picture part;
        ASSERT_EQ(reader.read(jpeg, mode, region, part, 200, 168), JPEG_ROI_SUCCESS);
        EXPECT_EQ(max_difference(part, crop(whole, region)), 0)
            << region.left << "," << region.top << " " << region.right << "," << region.bottom;
      }
      // Without restart intervals the rows passed so far are known: a
      // later read starts there.
      const uint32_t mcu_height = c.options.components == 1 || c.options.sampling != Sampling::k420 ? 8 : 16;
      if (c.options.restart_interval == 0) {
        EXPECT_TRUE(resume_known(reader.record.state(), 140 / mcu_height));
      }
      // Scaled region reads: the cut of the scaled whole read.
      const Picture half = whole_picture(jpeg, READ_HALF_BUFFER);
      const JpegRegion half_region{20, 40, 70, 84};
      Picture part;
      ASSERT_EQ(reader.read(jpeg, mode + READ_HALF_BUFFER - READ_IMAGE_BUFFER, half_region, part, 200, 168),
                JPEG_ROI_SUCCESS);
      EXPECT_EQ(max_difference(part, crop(half, half_region)), 0);
    }
  }
}

// Progressive pictures in turn in one buffer on one record: a read of the
// bytes the record last finished goes straight to the output pass from the
// kept coefficients; other bytes (another picture, the same buffer
// rewritten in place with its length kept, a file, a sequential picture
// between, a stream whose table changes between scans) are decoded
// afresh. Every read equals a fresh record's.
TEST(ProgressiveReads, KeptCoefficientsServeOnlyTheirOwnBytes) {
  EncodeOptions options = options_of(Sampling::k420, 0);
  options.progressive = true;
  const std::vector<uint8_t> first = encode_jpeg(options);
  std::vector<uint8_t> altered = first;  // one entropy-coded byte changed, same length
  altered[altered.size() / 2] = static_cast<uint8_t>(altered[altered.size() / 2] == 0x55 ? 0x2A : 0x55);
  ASSERT_GT(max_difference(decode_ours(altered, {}).picture, decode_ours(first, {}).picture), 0);
  options.quality = 90;
  const std::vector<uint8_t> second = encode_jpeg(options);
  const std::vector<uint8_t> sequential = encode_jpeg(options_of(Sampling::k420, 0));
  // Table 0 redefined before the last scan: the output pass must use the
  // new table, so the coefficients are not kept for a later read.
  std::vector<uint8_t> retabled = first;
  size_t last_scan = 0;
  for (size_t i = 0; i + 1 < first.size(); ++i)
    if (first[i] == 0xFF && first[i + 1] == 0xDA) last_scan = i;
  std::vector<uint8_t> table = {0xFF, 0xDB, 0x00, 0x43, 0x00};
  table.resize(table.size() + 64, 3);
  retabled.insert(retabled.begin() + static_cast<std::ptrdiff_t>(last_scan), table.begin(), table.end());
  TempFile file(first);
  const JpegRegion region{40, 30, 90, 80}, none{};  // inside the half-size image too
  struct Step {
    const std::vector<uint8_t>* stream;
    JpegReadMode mode;
    JpegRegion region;
    bool kept;  // served from the kept coefficients
  };
  const Step steps[] = {
      {&first, READ_IMAGE_BUFFER, none, false},      {&first, READ_IMAGE_BUFFER, region, true},
      {&first, READ_IMAGE_FILE, region, false},      {&first, READ_IMAGE_BUFFER, region, false},
      {&first, READ_QUARTER_BUFFER, none, true},     {&altered, READ_IMAGE_BUFFER, region, false},
      {&altered, READ_HALF_BUFFER, region, true},    {&second, READ_IMAGE_BUFFER, region, false},
      {&second, READ_HALF_BUFFER, region, true},     {&sequential, READ_IMAGE_BUFFER, none, false},
      {&first, READ_EIGHTH_BUFFER, none, false},     {&retabled, READ_IMAGE_BUFFER, none, false},
      {&retabled, READ_IMAGE_BUFFER, region, false}, {&first, READ_IMAGE_BUFFER, region, false},
  };
  Reader reader;
  reader.file = file.path();
  std::vector<uint8_t> buffer;  // one buffer, rewritten in place where the length allows
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(&step - steps));
    if (buffer.size() == step.stream->size()) std::copy(step.stream->begin(), step.stream->end(), buffer.begin());
    else buffer = *step.stream;
    ReadSettings settings;
    settings.mode = static_cast<JpegReadMode>(step.mode | 1);
    const OurRead fresh = decode_ours(buffer, settings);
    ASSERT_EQ(fresh.status, JPEG_SUCCESS);
    const bool cut = step.region.right != 0;
    Picture picture;
    ASSERT_EQ(reader.read(buffer, step.mode, step.region, picture, 200, 168), cut ? JPEG_ROI_SUCCESS : JPEG_SUCCESS);
    EXPECT_EQ(max_difference(picture, cut ? crop(fresh.picture, step.region) : fresh.picture), 0);
    EXPECT_EQ(reader.record.state().kept.matched != 0, step.kept);
  }
}

// The skip tables that pass the MCUs above a region follow the stream's
// Huffman tables: streams with tables fitted to each picture, read in turn
// on one record, with a standard-table stream between them, and more table
// contents than the process shares (so the record builds its own too).
TEST(RegionReads, StreamsWithOtherHuffmanTablesInTurnOnOneRecord) {
  const std::vector<uint8_t> standard = encode_jpeg(options_of(Sampling::k420, 0));
  const Picture standard_whole = whole_picture(standard);
  const JpegRegion region{48, 100, 112, 168};
  Reader reader;
  for (int i = 0; i < 12; ++i) {
    EncodeOptions options = options_of(i % 3 == 0 ? Sampling::k444 : Sampling::k420, 0, i % 4 == 3 ? 1 : 3);
    options.optimize = true;
    options.quality = 40 + 5 * i;
    const std::vector<uint8_t> jpeg = encode_jpeg(options);
    SCOPED_TRACE("stream " + std::to_string(i));
    Picture part;
    ASSERT_EQ(reader.read(jpeg, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
    EXPECT_EQ(max_difference(part, crop(whole_picture(jpeg), region)), 0);
    ASSERT_EQ(reader.read(standard, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
    EXPECT_EQ(max_difference(part, crop(standard_whole, region)), 0);
  }
}

TEST(RegionReads, TheTableCoversEveryRowOfTheTallestFrame) {
  // 65535 lines of 8-line MCUs: 8192 rows, the last one partial. The
  // encoder stops at 65500 lines; the frame header is raised to 65535 and
  // the rows past the data read as ended data, in whole and region reads.
  EncodeOptions tall = options_of(Sampling::k444, 0, 1);
  tall.width = 16;
  tall.height = 65500;
  std::vector<uint8_t> jpeg = encode_jpeg(tall);
  size_t sof = 2;
  while (!(jpeg[sof] == 0xFF && jpeg[sof + 1] == 0xC0)) sof += 2 + (jpeg[sof + 2] << 8 | jpeg[sof + 3]);
  jpeg[sof + 5] = 0xFF;
  jpeg[sof + 6] = 0xFF;
  const Picture whole = whole_picture(jpeg);
  Reader reader;
  for (const JpegRegion& region : {JpegRegion{3, 65490, 16, 65535}, JpegRegion{0, 32760, 9, 32770},
                                   JpegRegion{3, 65490, 16, 65535}}) {
    Picture part;
    ASSERT_EQ(reader.read(jpeg, READ_IMAGE_BUFFER, region, part, 16, 65535), JPEG_ROI_SUCCESS);
    EXPECT_EQ(max_difference(part, crop(whole, region)), 0) << region.top;
  }
  EXPECT_TRUE(resume_known(reader.record.state(), 8191));
}

TEST(RegionReads, RestartIntervalsAboveTheRegionAreNotDecoded) {
  // The first interval's data is wiped (no marker can appear in zeros): a
  // read that jumps it by its RST marker still gives the region exactly.
  std::vector<uint8_t> jpeg = encode_jpeg(options_of(Sampling::k420, 4));
  const Picture whole = whole_picture(jpeg);
  size_t sos = 2;
  while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) sos += 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  const size_t data = sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
  size_t rst = data;
  while (!(jpeg[rst] == 0xFF && jpeg[rst + 1] == 0xD0)) ++rst;
  std::fill(jpeg.begin() + static_cast<ptrdiff_t>(data), jpeg.begin() + static_cast<ptrdiff_t>(rst), 0);
  Reader reader;
  const JpegRegion region{32, 96, 160, 144};
  Picture part;
  ASSERT_EQ(reader.read(jpeg, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
  EXPECT_EQ(max_difference(part, crop(whole, region)), 0);
}

// One record reading one image after another: each read gives exactly what
// a fresh record gives, whatever kind of frame (components, progressive,
// a coefficient buffer larger or smaller than the last one's) the record
// read before.
TEST(WholeReads, EveryPairOfFrameKindsOnOneRecord) {
  struct Kind {
    const char* name;
    int components;
    bool progressive;
    int width, height;
    Sampling sampling;
  };
  const Kind kinds[] = {{"grey", 1, false, 200, 168, Sampling::k420},
                        {"colour", 3, false, 200, 168, Sampling::k420},
                        {"colour progressive", 3, true, 200, 168, Sampling::k420},
                        {"grey progressive", 1, true, 200, 168, Sampling::k420},
                        {"large progressive", 3, true, 1024, 776, Sampling::k444}};
  std::vector<std::vector<uint8_t>> images;
  std::vector<Picture> wholes;
  for (const Kind& kind : kinds) {
    EncodeOptions options = options_of(kind.sampling, 0, kind.components);
    options.width = kind.width;
    options.height = kind.height;
    options.progressive = kind.progressive;
    images.push_back(encode_jpeg(options));
    wholes.push_back(whole_picture(images.back()));
  }
  for (size_t first = 0; first < images.size(); ++first) {
    for (size_t second = 0; second < images.size(); ++second) {
      SCOPED_TRACE(std::string(kinds[first].name) + " then " + kinds[second].name);
      Reader reader;
      Picture a, b;
      ASSERT_EQ(reader.read(images[first], READ_IMAGE_BUFFER, {}, a, kinds[first].width, kinds[first].height),
                JPEG_SUCCESS);
      ASSERT_EQ(reader.read(images[second], READ_IMAGE_BUFFER, {}, b, kinds[second].width, kinds[second].height),
                JPEG_SUCCESS);
      EXPECT_EQ(max_difference(b, wholes[second]), 0);
    }
  }
}

TEST(RegionReads, AnotherStreamInTheSameBufferOrFileIsReadAfresh) {
  // Two pictures with the same headers, padded to the same length, take
  // turns in one buffer (same address, same size) and one file name: the
  // entries recorded for one must not be used for the other.
  EncodeOptions first_options = options_of(Sampling::k420, 0), second_options = first_options;
  second_options.comment = "x";  // moves the scan data by a few bytes
  std::vector<uint8_t> first = encode_jpeg(first_options);
  std::vector<uint8_t> second = encode_jpeg(options_of(Sampling::k420, 0));
  std::vector<uint8_t> pixels = make_test_pattern(200, 168, 3);
  for (size_t i = 0; i < pixels.size(); i += 7) pixels[i] = static_cast<uint8_t>(255 - pixels[i]);
  second = encode_pixels(options_of(Sampling::k420, 0), pixels);
  const std::vector<uint8_t> third = encode_jpeg(second_options);
  const size_t length = std::max({first.size(), second.size(), third.size()});
  std::vector<std::vector<uint8_t>> streams = {first, second, third, first};
  std::vector<Picture> wholes;
  for (std::vector<uint8_t>& stream : streams) {
    wholes.push_back(whole_picture(stream));
    stream.resize(length, 0);  // bytes after EOI are never read
  }
  const JpegRegion regions[] = {{48, 120, 112, 168}, {0, 100, 200, 130}};
  std::vector<uint8_t> buffer(length);
  TempFile file(buffer);
  for (JpegReadMode mode : {READ_IMAGE_BUFFER, READ_IMAGE_FILE}) {
    SCOPED_TRACE(mode);
    Reader reader;
    reader.file = file.path();
    for (size_t s = 0; s < streams.size(); ++s) {
      std::memcpy(buffer.data(), streams[s].data(), length);
      file.rewrite(buffer);
      for (const JpegRegion& region : regions) {
        Picture part;
        ASSERT_EQ(reader.read(buffer, mode, region, part, 200, 168), JPEG_ROI_SUCCESS);
        EXPECT_EQ(max_difference(part, crop(wholes[s], region)), 0) << "stream " << s;
      }
    }
  }
  // A parameter read keeps its file open for the read that follows; a read
  // of a file whose name differs in one letter must open that file.
  const TempFile named_b(streams[0], file.path() + std::string("b")), named_a(streams[1], file.path() + std::string("a"));
  Reader reader;
  Picture whole;
  reader.file = named_b.path();
  ASSERT_EQ(reader.read(buffer, READ_PARAMS_FILE, JpegRegion{}, whole, 200, 168), JPEG_SUCCESS);
  reader.file = named_a.path();
  ASSERT_EQ(reader.read(buffer, READ_IMAGE_FILE, JpegRegion{}, whole, 200, 168), JPEG_SUCCESS);
  EXPECT_EQ(max_difference(whole, wholes[1]), 0);
}

// Streams of one length that differ in one byte take turns on one record,
// in a buffer and in a file: a Huffman table value, and bytes before, at
// and after every resume entry and row mark the first region read
// recorded. Each region read must give the cut of its own stream.
TEST(RegionReads, OneByteEditsAnywhereNeverReuseAnotherStreamsEntries) {
  auto marks_known = [](const ResumeTable& t) {
    return std::count_if(t.marks, t.marks + t.rows, [](const ResumeEntry& e) { return e.offset >= 0; });
  };
  const EncodeOptions encodings[] = {options_of(Sampling::k420, 0), options_of(Sampling::k422, 5)};
  const JpegRegion region{48, 120, 112, 168};
  for (const EncodeOptions& options : encodings) {
    const std::vector<uint8_t> base = encode_jpeg(options);
    Reader probe;
    Picture part;
    ASSERT_EQ(probe.read(base, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
    const ResumeTable& table = probe.record.state().resume;
    const uint8_t dht[] = {0xFF, 0xC4};  // the third value of the first table: after length, Tc Th, counts
    std::vector<size_t> places = {size_t(std::search(base.begin(), base.end(), dht, dht + 2) - base.begin()) + 4 + 17 + 2};
    for (uint32_t row = 1; row < table.rows; ++row)
      for (const ResumeEntry* entry : {&table.entries[row], &table.marks[row]})
        for (int64_t step : {-40, -17, -1, 0, 1, 17, 40})
          if (entry->offset >= 0) places.push_back(static_cast<size_t>(entry->offset + step));
    ASSERT_GT(places.size(), 7u * 8);
    TempFile file(base);
    for (JpegReadMode mode : {READ_IMAGE_BUFFER, READ_IMAGE_FILE}) {
      Reader reader;
      reader.file = file.path();
      for (size_t place : places) {
        std::vector<uint8_t> edited = base;
        if (edited[place] == 0xFF || edited[place - 1] == 0xFF) continue;  // keep markers and stuffing as they are
        edited[place] ^= (edited[place] ^ 0x24) == 0xFF ? 0x42 : 0x24;
        for (const std::vector<uint8_t>* stream : {&std::as_const(edited), &base}) {
          file.rewrite(*stream);
          ASSERT_EQ(reader.read(*stream, mode, region, part, 200, 168), JPEG_ROI_SUCCESS);
          EXPECT_EQ(max_difference(part, crop(whole_picture(*stream), region)), 0) << "byte " << place << " mode " << mode;
          // A read that met the other stream's entries records its own.
          EXPECT_EQ(marks_known(reader.record.state().resume), marks_known(table));
        }
      }
    }
  }
}

// Tables stay in the record: a stream without DHT read with the standard
// tables, then with another stream's (taken by a parameter read), must not
// reuse the entries recorded under the standard ones.
TEST(RegionReads, AStreamWithoutTablesIsReadAfreshWhenTheRecordsTablesChange) {
  EncodeOptions options = options_of(Sampling::k420, 0);
  const std::vector<uint8_t> stripped = without_huffman_tables(encode_jpeg(options));
  options.optimize = true;
  const std::vector<uint8_t> optimised = encode_jpeg(options);
  const JpegRegion region{48, 120, 112, 168};
  Reader fresh, reused;
  Picture expected, part;
  ASSERT_EQ(reused.read(stripped, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
  for (Reader* reader : {&fresh, &reused}) ASSERT_EQ(reader->record.read_buffer(optimised), JPEG_SUCCESS);
  ASSERT_EQ(fresh.read(stripped, READ_IMAGE_BUFFER, {}, expected, 200, 168), JPEG_SUCCESS);
  ASSERT_EQ(reused.read(stripped, READ_IMAGE_BUFFER, region, part, 200, 168), JPEG_ROI_SUCCESS);
  EXPECT_EQ(max_difference(part, crop(expected, region)), 0);
}

// Reads with `interrupt` set until the read ends; checks every reported
// position and returns the final status and the number of reads.
JpegStatus read_interrupted(Reader& reader, const std::vector<uint8_t>& jpeg, JpegReadMode mode, JpegRegion region,
                            Picture& out, int& reads) {
  reader.record->interrupt = 1;
  JpegStatus status = reader.read(jpeg, mode, region, out, 200, 168);
  int last_column = -1, last_row = -1;
  for (reads = 1; status == JPEG_INTERRUPT_SUCCESS && reads < 100000; ++reads) {
    const JpegRegion at = reader.record->region;
    // MCU after MCU; each scan of a multi-scan image starts again at 0, 0.
    const bool first = at.left == 0 && at.top == 0;
    EXPECT_TRUE(first || at.top > last_row || (at.top == last_row && at.left > last_column)) << at.left << "," << at.top;
    EXPECT_GT(at.right, 0);
    EXPECT_GT(at.bottom, 0);
    last_column = at.left;
    last_row = at.top;
    status = JpegRead(reader.record.get(), mode);
  }
  reader.record->interrupt = 0;
  return status;
}

TEST(InterruptedReads, ContinuedToTheEndGiveTheWholePicture) {
  struct Case {
    const char* name;
    EncodeOptions options;
    JpegReadMode mode;
    uint32_t upsampling_kind;
    int mcus;  // reads expected: one per MCU output but the last of each scan
  };
  EncodeOptions progressive = options_of(Sampling::k420, 0);
  progressive.progressive = true;
  EncodeOptions multi_scan = options_of(Sampling::k444, 0);
  multi_scan.scans = {{{0}}, {{1}}, {{2}}};
  const Case cases[] = {
      {"420", options_of(Sampling::k420, 0), READ_IMAGE_BUFFER, 0, 13 * 11},
      {"420 file", options_of(Sampling::k420, 0), READ_IMAGE_FILE, 0, 13 * 11},
      {"420 filter", options_of(Sampling::k420, 0), READ_IMAGE_BUFFER, 1, 13 * 11},
      {"422 restart half", options_of(Sampling::k422, 5), READ_HALF_BUFFER, 0, 13 * 21},
      // At 1/8 the DC-only blocks go through the block skipper, in runs of
      // MCUs when every component is DC-only.
      {"444 restart eighth", options_of(Sampling::k444, 7), READ_EIGHTH_BUFFER, 0, 25 * 21},
      {"grey eighth file", options_of(Sampling::k444, 0, 1), READ_EIGHTH_FILE, 0, 25 * 21},
      {"420 eighth", options_of(Sampling::k420, 0), READ_EIGHTH_BUFFER, 0, 13 * 11},
      {"progressive", progressive, READ_IMAGE_BUFFER, 0, 13 * 11},
      {"progressive file quarter", progressive, READ_QUARTER_FILE, 0, 13 * 11},
      {"multi-scan", multi_scan, READ_IMAGE_BUFFER, 0, 3 * 25 * 21 - 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> jpeg = encode_jpeg(c.options);
    TempFile file(jpeg);
    ReadSettings settings;
    settings.mode = static_cast<JpegReadMode>(c.mode | 1);
    settings.upsampling_kind = c.upsampling_kind;
    const OurRead whole = decode_ours(jpeg, settings);
    ASSERT_EQ(whole.status, JPEG_SUCCESS);
    Reader reader;
    reader.file = file.path();
    reader.record->upsampling_kind = c.upsampling_kind;
    Picture picture;
    int reads = 0;
    EXPECT_EQ(read_interrupted(reader, jpeg, c.mode, {}, picture, reads), JPEG_SUCCESS);
    EXPECT_EQ(reads, c.mcus);
    EXPECT_EQ(max_difference(picture, whole.picture), 0);
    // The read's end gives back the caller's region: a next read is whole.
    EXPECT_EQ(reader.record->region.right, 0);
    Picture again;
    EXPECT_EQ(reader.read(jpeg, c.mode, reader.record->region, again, 200, 168), JPEG_SUCCESS);
    EXPECT_EQ(max_difference(again, whole.picture), 0);
  }
}

TEST(InterruptedReads, RegionReadsAndAbandonedReads) {
  const std::vector<uint8_t> jpeg = encode_jpeg(options_of(Sampling::k420, 3));
  const Picture whole = whole_picture(jpeg);
  Reader reader;
  // MCU columns 2..7 of rows 3..6, and of row 3 alone: a stop after every
  // MCU but the region's last.
  for (const auto& [region, mcus] : {std::pair{JpegRegion{40, 50, 120, 100}, 6 * 4}, {JpegRegion{40, 50, 120, 60}, 6}}) {
    Picture part;
    int reads = 0;
    EXPECT_EQ(read_interrupted(reader, jpeg, READ_IMAGE_BUFFER, region, part, reads), JPEG_ROI_SUCCESS);
    EXPECT_EQ(reads, mcus);
    EXPECT_EQ(max_difference(part, crop(whole, region)), 0);
  }
  // Interrupted once, then another mode: the parameter read starts afresh
  // and the next whole read is not taken for a region.
  reader.record->interrupt = 1;
  Picture picture;
  ASSERT_EQ(reader.read(jpeg, READ_IMAGE_BUFFER, {}, picture, 200, 168), JPEG_INTERRUPT_SUCCESS);
  EXPECT_EQ(reader.record->region.left, 0);
  EXPECT_EQ(reader.record->region.right, 16);
  reader.record->interrupt = 0;
  EXPECT_EQ(JpegRead(reader.record.get(), READ_PARAMS_BUFFER), JPEG_SUCCESS);
  EXPECT_EQ(reader.read(jpeg, READ_IMAGE_BUFFER, reader.record->region, picture, 200, 168), JPEG_SUCCESS);
  EXPECT_EQ(max_difference(picture, whole), 0);
}

TEST(ReadSequences, EveryOrderOfReadsInFileAndBufferModes) {
  struct Step {
    JpegReadMode file_mode;  // the buffer mode is the next one
    JpegRegion region;
  };
  // `middle` for full-size reads, `small` inside the eighth-size image.
  const JpegRegion none{}, middle{40, 50, 120, 100}, small{5, 4, 20, 16};
  const std::vector<std::vector<Step>> sequences = {
      {{READ_IMAGE_FILE, middle}, {READ_IMAGE_FILE, none}},
      {{READ_IMAGE_FILE, none}, {READ_IMAGE_FILE, middle}, {READ_IMAGE_FILE, middle}},
      {{READ_PARAMS_FILE, none}, {READ_IMAGE_FILE, middle}, {READ_IMAGE_FILE, none}},
      {{READ_HEADER_FILE, none}, {READ_ENTROPY_FILE, none}, {READ_ENTROPY_FILE, none}},
      {{READ_HEADER_FILE, none}, {READ_IMAGE_FILE, none}, {READ_HEADER_FILE, none}, {READ_HALF_FILE, none}},
      {{READ_HALF_FILE, none}, {READ_QUARTER_FILE, none}, {READ_EIGHTH_FILE, none}, {READ_HALF_FILE, small}},
      {{READ_THUMBNAIL_FILE, none}, {READ_IMAGE_FILE, none}, {READ_THUMBNAIL_FILE, none}, {READ_ENTROPY_FILE, none}},
      {{READ_PARAMS_FILE, none}, {READ_THUMBNAIL_FILE, none}, {READ_QUARTER_FILE, small}, {READ_PARAMS_FILE, none}},
      {{READ_IMAGE_FILE, middle}, {READ_HEADER_FILE, none}, {READ_ENTROPY_FILE, middle}, {READ_EIGHTH_FILE, small}},
  };
  const std::vector<uint8_t> jpeg = encode_jpeg(options_of(Sampling::k420, 0));
  TempFile file(jpeg);
  for (size_t s = 0; s < sequences.size(); ++s) {
    for (int buffer = 0; buffer < 2; ++buffer) {
      SCOPED_TRACE("sequence " + std::to_string(s) + (buffer ? " buffer" : " file"));
      Reader reader;
      reader.file = file.path();
      for (const Step& step : sequences[s]) {
        const JpegReadMode mode = step.file_mode + buffer;
        SCOPED_TRACE(mode);
        Picture picture;
        const JpegStatus status = reader.read(jpeg, mode, step.region, picture, 200, 168);
        const bool picture_read = mode != READ_PARAMS_FILE + buffer && mode != READ_HEADER_FILE + buffer &&
                                  mode != READ_THUMBNAIL_FILE + buffer;
        const bool cut = step.region.right != 0 && picture_read;
        EXPECT_EQ(status, cut ? JPEG_ROI_SUCCESS : JPEG_SUCCESS);
        if (!picture_read) continue;
        const Picture whole = whole_picture(jpeg, static_cast<JpegReadMode>(mode | 1));
        EXPECT_EQ(max_difference(picture, cut ? crop(whole, step.region) : whole), 0);
      }
    }
  }
}

TEST(RobustRecord, InnerFieldsWithoutAPictureAreRefused) {
  const std::vector<uint8_t> jpeg = encode_jpeg(options_of(Sampling::k420, 0));
  TempFile file(jpeg);
  DecoderRecord record;
  record->jpeg_file_name = file.path();
  ASSERT_EQ(record.read_buffer(jpeg, READ_PARAMS_BUFFER), JPEG_SUCCESS);
  record->use_inner_fields = 1;
  for (JpegReadMode mode : {READ_IMAGE_BUFFER, READ_IMAGE_FILE, READ_ENTROPY_BUFFER, READ_HALF_BUFFER,
                            READ_EIGHTH_FILE, READ_THUMBNAIL_BUFFER}) {
    EXPECT_EQ(JpegRead(record.get(), mode), JPEG_ERR_INVALID_PROPERTIES) << mode;
  }
  // Filled by a read with a picture, of any channel count, the copies
  // serve the next read.
  for (const auto& [color, channels] : {std::pair{COLOR_BGR, 3u}, std::pair{COLOR_GRAY, 1u}}) {
    std::vector<uint8_t> picture(200 * 168 * channels);
    record->use_inner_fields = 0;
    DeclarePicture(record, picture, 200, 168, color, channels);
    ASSERT_EQ(JpegRead(record.get(), READ_IMAGE_BUFFER), JPEG_SUCCESS) << channels;
    const std::vector<uint8_t> first = picture;
    record->use_inner_fields = 1;
    record->picture_bytes = nullptr;
    EXPECT_EQ(JpegRead(record.get(), READ_IMAGE_BUFFER), JPEG_SUCCESS) << channels;
    EXPECT_EQ(picture, first);
  }
}

TEST(RobustRecord, ArbitrarySequencesOfReadsEndWithAStatus) {
  // Random modes, controls and field values on one record, against the
  // same streams: every read ends with a known status and writes nothing
  // outside the picture it declares.
  EncodeOptions progressive = options_of(Sampling::k420, 0);
  progressive.progressive = true;
  const std::vector<std::vector<uint8_t>> streams = {encode_jpeg(options_of(Sampling::k420, 5)), encode_jpeg(progressive),
                                                     encode_jpeg(options_of(Sampling::k444, 0, 1))};
  TempFile file(streams[0]);
  std::mt19937 random(8);
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  DecoderRecord record;
  // One buffer for every step: with use_inner_fields a read uses the
  // picture of an earlier step, which must still be there.
  std::vector<uint8_t> picture(300 * (300 * 5 + 9) + 64);
  for (int step = 0; step < 800; ++step) {
    const std::vector<uint8_t>& jpeg = streams[static_cast<size_t>(pick(0, 2))];
    if (pick(0, 9) == 0) file.rewrite(jpeg);
    const int width = pick(0, 3) == 0 ? pick(-2, 300) : 200, height = pick(0, 3) == 0 ? pick(-300, 300) : 168;
    const uint32_t channels = static_cast<uint32_t>(pick(0, 4) == 0 ? pick(0, 5) : 3);
    const uint32_t pad = static_cast<uint32_t>(pick(0, 3) == 0 ? pick(0, 9) : 0);
    const size_t bytes = width > 0 ? (static_cast<size_t>(width) * channels + pad) * static_cast<size_t>(std::abs(height)) : 0;
    const bool inner = pick(0, 4) == 0;
    std::fill(picture.begin() + static_cast<ptrdiff_t>(bytes), picture.end(), 0xC3);
    record->picture_bytes = pick(0, 5) != 0 ? picture.data() : nullptr;
    record->picture_width = static_cast<uint32_t>(width);
    record->picture_height = height;
    record->picture_channels = channels;
    record->picture_pad_bytes = pad;
    record->jpeg_bytes = pick(0, 9) == 0 ? nullptr : jpeg.data();
    record->jpeg_size_bytes = static_cast<uint32_t>(pick(0, 9) == 0 ? pick(0, 300) : static_cast<int>(jpeg.size()));
    record->jpeg_file_name = pick(0, 9) == 0 ? nullptr : file.path();
    record->use_inner_fields = inner;
    record->interrupt = pick(0, 2) == 0;
    record->upsampling_kind = static_cast<uint32_t>(pick(0, 1));
    if (pick(0, 2) == 0) {
      record->region = {pick(-50, 250), pick(-50, 200), pick(-50, 250), pick(-50, 200)};
    }
    const JpegReadMode mode = pick(0, 20) == 0 ? pick(-2, 25) : pick(0, 21);
    const int reads = record->interrupt ? pick(1, 40) : 1;
    for (int r = 0; r < reads; ++r) {
      const JpegStatus status = JpegRead(record.get(), mode);
      ASSERT_TRUE(status >= -30 && status <= 2) << "step " << step << " mode " << mode << ": " << status;
    }
    if (inner) continue;  // the picture declared by an earlier step
    for (size_t i = bytes; i < picture.size(); ++i) ASSERT_EQ(picture[i], 0xC3) << "step " << step << " byte " << i;
  }
}

// Reads into pictures of other layouts on one record: each as on a fresh
// record (the band of rows one read converts in is not another's).
TEST(WholeReads, ReducedReadsIntoOtherPictureLayoutsOnOneRecord) {
  const std::vector<uint8_t> jpeg = encode_jpeg(options_of(Sampling::k420, 0));
  const auto read = [&jpeg](DecoderRecord& record, uint32_t channels, JpegColor color) {
    std::vector<uint8_t> picture(100 * 84 * channels);
    record->jpeg_bytes = jpeg.data();
    record->jpeg_size_bytes = static_cast<uint32_t>(jpeg.size());
    DeclarePicture(record, picture, 100, 84, color, channels);
    EXPECT_EQ(JpegRead(record.get(), READ_HALF_BUFFER), JPEG_SUCCESS) << channels;
    return picture;
  };
  DecoderRecord reused;
  for (const auto& [channels, color] : {std::pair{3u, COLOR_BGR}, std::pair{4u, COLOR_FOUR}, std::pair{3u, COLOR_RGB}}) {
    DecoderRecord fresh;
    EXPECT_EQ(read(reused, channels, color), read(fresh, channels, color)) << channels;
  }
}

}  // namespace
