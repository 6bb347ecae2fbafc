// The recording reader on recordings built box by box: whole files with
// several segments, files that begin with boxes, and damage at every kind
// of place, each stopping the read at the first bad offset with what came
// before it kept.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "h264_stream.h"
#include "recording_reader.h"

namespace {

using vkt::devsim::appendQbox;
using vkt::devsim::makeRvdxHeader;

std::vector<uint8_t> Units(std::initializer_list<std::vector<uint8_t>> units) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& unit : units) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(unit.size() >> shift));
    out.insert(out.end(), unit.begin(), unit.end());
  }
  return out;
}

const std::vector<uint8_t> kSps = {0x67, 0x42, 0x00, 0x1e};
const std::vector<uint8_t> kPps = {0x68, 0xce, 0x38};

std::vector<uint8_t> Header() {
  std::vector<uint8_t> area;
  appendQbox(area, 2, 1, 4, 0, Units({kSps, kPps}));
  return makeRvdxHeader(area, 0);
}

// A segment: header, key picture, audio box, `more` other pictures.
std::vector<uint8_t> Segment(uint32_t time, int more) {
  std::vector<uint8_t> out = Header();
  appendQbox(out, 2, 1, 4, time, Units({{0x65, 1, 2, 3}}));
  appendQbox(out, 1, 1, 0, time, std::vector<uint8_t>(16, 0xFF));
  for (int i = 1; i <= more; ++i) appendQbox(out, i % 2 ? 5 : 2, 1, 0, time + 40 * i, Units({{0x41, 9}}));
  return out;
}

void PutLittleEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

// Three segments with their lengths filled in, as the writer leaves them.
std::vector<uint8_t> Recording(std::vector<size_t>* segmentStarts = nullptr) {
  std::vector<uint8_t> file;
  std::vector<size_t> starts;
  for (int s = 0; s < 3; ++s) {
    starts.push_back(file.size());
    const std::vector<uint8_t> segment = Segment(1000 * s, 3);
    file.insert(file.end(), segment.begin(), segment.end());
  }
  for (int s = 0; s < 2; ++s) PutLittleEndian(file, starts[s] + 36, uint32_t(starts[s + 1] - starts[s]));
  if (segmentStarts) *segmentStarts = starts;
  return file;
}

TEST(RecordingReader, ReadsAWholeRecording) {
  const std::vector<uint8_t> file = Recording();
  const RecordingContents c = ReadRecording(file.data(), file.size());
  EXPECT_FALSE(c.damaged) << c.problem << " at " << c.badOffset;
  EXPECT_EQ(c.segments, 3u);
  EXPECT_EQ(c.boxes.size(), 15u);
  EXPECT_EQ(c.pictures, 12u);
  EXPECT_EQ(c.keyPictures, 3u);
  EXPECT_EQ(c.wholeBytes, file.size());
  ASSERT_EQ(c.parameterSets.size(), 2u);
  EXPECT_EQ(c.parameterSets[0], kSps);
  EXPECT_EQ(c.parameterSets[1], kPps);
  EXPECT_EQ(c.boxes[4].timeStamp, 120u);
  EXPECT_FALSE(ReadRecording(nullptr, 0).damaged);
}

TEST(RecordingReader, AFileMayBeginWithBoxes) {
  std::vector<uint8_t> file;
  appendQbox(file, 2, 1, 0, 0, Units({{0x41, 1}}));
  const std::vector<uint8_t> segment = Segment(40, 0);
  file.insert(file.end(), segment.begin(), segment.end());
  const RecordingContents c = ReadRecording(file.data(), file.size());
  EXPECT_FALSE(c.damaged);
  EXPECT_EQ(c.segments, 1u);
  EXPECT_EQ(c.pictures, 2u);
  EXPECT_FALSE(c.boxes[0].key);
}

TEST(RecordingReader, StopsAtTheFirstDamageKeepingWhatPrecedesIt) {
  std::vector<size_t> starts;
  const std::vector<uint8_t> whole = Recording(&starts);
  const size_t secondBox = starts[0] + 512 + 32;  // after the key picture's 32-byte box
  struct Case {
    const char* name;
    size_t cutAt;                                  // file length; 0 = whole
    void (*spoil)(std::vector<uint8_t>&, size_t);  // applied at `at`
    size_t at;
    size_t badOffset;
    const char* problem;
    size_t wholeBytes = 0;  // where the whole part ends; 0 = at the bad offset
  };
  const Case cases[] = {
      {"cut inside a box", secondBox + 30, nullptr, 0, secondBox, "box cut short"},
      {"cut inside a header", starts[1] + 100, nullptr, 0, starts[1], "header cut short"},
      {"cut after 3 bytes of a box", secondBox + 3, nullptr, 0, secondBox, "box header cut short"},
      {"box of another type", 0, [](std::vector<uint8_t>& f, size_t at) { std::memcpy(&f[at + 4], "qbux", 4); },
       secondBox, secondBox, "neither a header nor a box"},
      {"box shorter than its header", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 3] = 23; }, secondBox,
       secondBox, "neither a header nor a box"},
      {"box longer than the file", 0, [](std::vector<uint8_t>& f, size_t at) { f[at] = 0x7F; }, secondBox, secondBox,
       "box cut short"},
      {"unit past its box", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 24 + 3] = 200; }, starts[1] + 512,
       starts[1] + 512, "unit length past its box"},
      {"wrong segment length", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 36] ^= 1; }, starts[0],
       starts[0] + 36, "segment length differs from the segment", starts[1]},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(c.cutAt ? c.cutAt : whole.size()));
    if (c.spoil) c.spoil(file, c.at);
    const RecordingContents contents = ReadRecording(file.data(), file.size());
    EXPECT_TRUE(contents.damaged);
    EXPECT_EQ(contents.badOffset, c.badOffset);
    EXPECT_EQ(contents.problem, c.problem);
    EXPECT_EQ(contents.wholeBytes, c.wholeBytes ? c.wholeBytes : c.badOffset);
    for (const RecordedBox& box : contents.boxes) EXPECT_LE(box.offset + box.size, contents.wholeBytes);
  }
}

}  // namespace
