// The recording file: segments written byte for byte from the first
// header on, each header's segment length filled in by the next header,
// and the start and stop rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "recording_writer.h"
#include "stream_parser.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A block of `size` bytes, starting with a header when `header` is set;
// the other bytes count up from `seed` so every block differs.
Bytes Block(size_t size, bool header, uint8_t seed) {
  Bytes block(size);
  for (size_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(seed + i * 7);
  if (header) {
    std::memcpy(block.data(), "rvdx", 4);
    std::memset(block.data() + kRvdxSegmentLengthOffset, 0xEE, 4);
  }
  return block;
}

uint32_t Le32At(const Bytes& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (uint32_t(bytes[at + 3]) << 24);
}

class RecordingWriterTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const Bytes& block) { writer_.WriteBlock(block.data(), uint32_t(block.size()), StartsWithRvdx(block.data(), block.size())); }

  void SetUp() override {
    char pattern[] = "/tmp/recording_test_XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override {
    writer_.Stop();
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::string dir_;
  HANDLE file_ = nullptr;
  RecordingWriter writer_{file_};
};

}  // namespace

TEST_F(RecordingWriterTest, ThreeSegmentsGetTheirLengthsFilledIn) {
  ASSERT_TRUE(writer_.Start(Path("three.rec").c_str()));
  // Segments of 10,000, 20,000 and 5,000 bytes, split over several blocks;
  // a block before the first header is not recorded.
  const std::vector<Bytes> blocks = {Block(700, false, 1),  Block(6000, true, 2),  Block(4000, false, 3),
                                     Block(20000, true, 4), Block(3000, true, 5), Block(2000, false, 6)};
  for (const Bytes& b : blocks) Write(b);
  writer_.Stop();
  EXPECT_FALSE(writer_.IsOpen());

  Bytes expected;
  for (size_t i = 1; i < blocks.size(); ++i) expected.insert(expected.end(), blocks[i].begin(), blocks[i].end());
  const Bytes file = ReadFile(Path("three.rec"));
  ASSERT_EQ(file.size(), 35000u);
  EXPECT_EQ(Le32At(file, 36), 10000u);
  EXPECT_EQ(Le32At(file, 10000 + 36), 20000u);
  EXPECT_EQ(Le32At(file, 30000 + 36), 0xEEEEEEEEu);  // the last keeps the device's value
  // Apart from the two filled-in fields the file is the stream as received.
  for (size_t at : {size_t{36}, size_t{10036}}) std::memcpy(expected.data() + at, file.data() + at, 4);
  EXPECT_EQ(file, expected);
}

// A segment just long enough to hold its length field (40 bytes) gets it
// filled in; one a byte shorter has no whole field and is left as written.
TEST_F(RecordingWriterTest, SegmentLengthFieldAtItsEdge) {
  ASSERT_TRUE(writer_.Start(Path("edge.rec").c_str()));
  const size_t field_end = kRvdxSegmentLengthOffset + 4;
  Bytes short_segment = Block(field_end, true, 2);
  short_segment.pop_back();
  const std::vector<Bytes> blocks = {Block(field_end, true, 1), short_segment, Block(100, true, 3)};
  for (const Bytes& b : blocks) Write(b);
  writer_.Stop();
  const Bytes file = ReadFile(Path("edge.rec"));
  ASSERT_EQ(file.size(), 2 * field_end - 1 + 100);
  EXPECT_EQ(Le32At(file, kRvdxSegmentLengthOffset), field_end);
  EXPECT_EQ(Bytes(file.begin() + field_end, file.begin() + 2 * field_end - 1), blocks[1]);
}

TEST_F(RecordingWriterTest, StartingAgainClosesTheFirstFileAndWaitsForAHeader) {
  ASSERT_TRUE(writer_.Start(Path("first.rec").c_str()));
  const Bytes header = Block(600, true, 9);
  const Bytes body = Block(300, false, 8);
  Write(header);
  Write(body);
  ASSERT_TRUE(writer_.Start(Path("second.rec").c_str()));
  EXPECT_EQ(writer_.recordedBytes, 0u);
  Write(body);  // before the next header: not recorded
  Write(header);
  writer_.Stop();
  EXPECT_EQ(ReadFile(Path("first.rec")).size(), 900u);
  EXPECT_EQ(ReadFile(Path("second.rec")), header);

  // The same name again: created anew.
  ASSERT_TRUE(writer_.Start(Path("second.rec").c_str()));
  writer_.Stop();
  EXPECT_TRUE(ReadFile(Path("second.rec")).empty());
}

// After a reconnection the recording goes on at the next header, with a
// gap box at the end of the segment before, inside its length.
TEST_F(RecordingWriterTest, AGapBoxMarksWhereTheStreamWasAway) {
  ASSERT_TRUE(writer_.Start(Path("gap.rec").c_str()));
  Write(Block(600, true, 1));
  writer_.ResumeAtNextHeader();
  Write(Block(300, false, 2));  // before the next header: not recorded
  Sleep(30);
  Write(Block(600, true, 3));
  writer_.Stop();
  const Bytes file = ReadFile(Path("gap.rec"));
  ASSERT_EQ(file.size(), 600 + kGapBoxSize + 600);
  EXPECT_EQ(Le32At(file, kRvdxSegmentLengthOffset), 600 + kGapBoxSize);
  QboxHeader box{};
  ASSERT_TRUE(ReadQboxHeader(file.data() + 600, kGapBoxSize, &box));
  uint64_t gapMs = 0;
  ASSERT_TRUE(ReadGapBox(box.streamType, file.data() + 600 + kQboxHeaderSize, box.boxSize - kQboxHeaderSize, gapMs));
  EXPECT_GE(gapMs, 30u);
  EXPECT_LT(gapMs, 5000u);
}

TEST_F(RecordingWriterTest, CountsOnlyTheBytesTheFileTook) {
  // Every write to /dev/full fails: nothing is counted, so no segment
  // length ever points past what the file holds.
  if (!writer_.Start("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Write(Block(600, true, 1));
  Write(Block(300, false, 2));
  Write(Block(600, true, 3));
  EXPECT_EQ(writer_.recordedBytes, 0u);
  EXPECT_EQ(writer_.recordStarted, 1);
}

// A recording into a FIFO (a player or a pipe reading it live): nothing can
// be patched afterwards, yet every block arrives, in order, from the first
// header on; the headers keep the segment length the device sent.
TEST_F(RecordingWriterTest, AFifoGetsEveryByteInOrder) {
  const std::string fifo = Path("live.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] { received = ReadFile(fifo); });
  ASSERT_TRUE(writer_.Start(fifo.c_str()));
  const std::vector<Bytes> blocks = {Block(700, false, 1),  Block(6000, true, 2),  Block(4000, false, 3),
                                     Block(20000, true, 4), Block(3000, true, 5), Block(2000, false, 6)};
  for (const Bytes& b : blocks) Write(b);
  EXPECT_EQ(writer_.recordedBytes, 35000u);
  writer_.Stop();
  reader.join();
  Bytes expected;
  for (size_t i = 1; i < blocks.size(); ++i) expected.insert(expected.end(), blocks[i].begin(), blocks[i].end());
  EXPECT_EQ(received, expected);
}

namespace {

// A file of any size that keeps no bytes: it records where each block
// landed and each 4-byte length written, and fails the write or the seek
// numbered `failWriteAt` or `failSeekAt` (from 1) when asked.
class OffsetRecorder : public RecordingWriter {
 public:
  using RecordingWriter::RecordingWriter;
  std::vector<std::pair<uint64_t, uint64_t>> blocks;   // offset, length
  std::vector<std::pair<uint64_t, uint32_t>> fields;   // offset, value
  uint64_t size = 0;
  int failWriteAt = 0, failSeekAt = 0, writes = 0, seeks = 0;

 protected:
  bool WriteToFile(const uint8_t* bytes, uint32_t length, uint32_t& written, uint32_t& error) override {
    const bool fail = ++writes == failWriteAt;
    written = fail ? length / 2 : length;
    error = ERROR_DISK_FULL;
    if (length == 4) fields.emplace_back(position_, uint32_t(Le32At(Bytes(bytes, bytes + 4), 0)));
    else blocks.emplace_back(position_, length);
    position_ += written;
    size = std::max(size, position_);
    return !fail;
  }
  bool SeekFile(uint64_t position) override {
    SetLastError(ERROR_INVALID_PARAMETER);
    if (++seeks == failSeekAt) return false;
    position_ = position;
    return true;
  }

 private:
  uint64_t position_ = 0;
};

}  // namespace

// Segments past 4 GiB, in blocks of up to 1 GiB: every segment length lands
// in its own header and the blocks follow each other; a failed write or
// seek ends the recording with the reason.
TEST(RecordingWriterPositions, SegmentLengthsAcrossFourGibibytes) {
  constexpr uint64_t GiB = uint64_t{1} << 30;
  const struct {
    const char* name;
    std::vector<uint64_t> segments;  // sizes; each a 512-byte header block, then blocks of 1 GiB
    int failWriteAt, failSeekAt;
    std::vector<std::pair<uint64_t, uint32_t>> fields;  // lengths filled in
    const char* error;                                  // null: no failure
  } cases[] = {
      {"three segments past 4 GiB", {3 * GiB, 2 * GiB + 600, 700}, 0, 0,
       {{36, uint32_t(3 * GiB)}, {3 * GiB + 36, uint32_t(2 * GiB + 600)}}, nullptr},
      {"a segment just below 4 GiB", {4 * GiB - 1, 600}, 0, 0, {{36, uint32_t(4 * GiB - 1)}}, nullptr},
      {"a segment of 5 GiB keeps the device's value", {5 * GiB, 600}, 0, 0, {}, nullptr},
      {"the disk fills in the third block", {3 * GiB, 600}, 3, 0, {}, "no space left on the device"},
      {"the length field cannot be written", {2 * GiB, 600}, 4, 0, {}, "no space left on the device"},
      {"no way back to the end", {2 * GiB, 600}, 0, 2, {}, "write or seek error 87"},
  };
  const uint8_t header[4] = {'r', 'v', 'd', 'x'};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE slot = nullptr;
    OffsetRecorder writer(slot);
    writer.failWriteAt = c.failWriteAt;
    writer.failSeekAt = c.failSeekAt;
    ASSERT_TRUE(writer.Start("/dev/null"));
    bool ok = true;
    uint64_t total = 0;
    for (const uint64_t segment : c.segments) {
      // The stand-in reads nothing of a block but its address.
      for (uint64_t done = 0, block = 0; ok && done < segment; done += block) {
        block = std::min(segment - done, done ? GiB : 512);
        ok = writer.WriteBlock(header, uint32_t(block), done == 0);
      }
      total += segment;
    }
    EXPECT_EQ(ok, c.error == nullptr);
    if (c.error) {
      EXPECT_EQ(writer.WriteErrorText(), c.error);
      continue;
    }
    EXPECT_EQ(writer.recordedBytes, total);
    EXPECT_EQ(writer.size, total);
    for (size_t i = 1; i < writer.blocks.size(); ++i)
      EXPECT_EQ(writer.blocks[i].first, writer.blocks[i - 1].first + writer.blocks[i - 1].second) << i;
    EXPECT_EQ(writer.fields, c.fields);
  }
}
