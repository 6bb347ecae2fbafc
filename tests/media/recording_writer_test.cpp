// The recording file: segments written byte for byte from the first
// header on, each header's segment length filled in by the next header,
// and the start and stop rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
