// The recording reader on recordings built box by box: whole files with
// several segments, files that begin with boxes, and damage at every kind
// of place, each reported as one range after which the read goes on at the
// next header; and the export's times for such boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "h264_stream.h"
#include "recording_export_plan.h"
#include "recording_reader.h"
#include "stream_parser.h"

namespace {

using vkt::devsim::appendQbox;
using vkt::devsim::makeRvdxHeader;

std::vector<uint8_t> Units(std::initializer_list<std::vector<uint8_t>> units) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& unit : units) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(unit.size() >> shift));
    for (const uint8_t byte : unit) out.push_back(byte);
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
  EXPECT_FALSE(c.damaged()) << c.damages[0].problem << " at " << c.damages[0].offset;
  EXPECT_EQ(c.segments.size(), 3u);
  EXPECT_EQ(c.boxes.size(), 15u);
  EXPECT_EQ(c.pictures, 12u);
  EXPECT_EQ(c.keyPictures, 3u);
  EXPECT_EQ(c.deviceLengths, 0u);
  EXPECT_EQ(c.segments[2].offset + c.segments[2].length, file.size());
  ASSERT_EQ(c.parameterSets.size(), 2u);
  EXPECT_EQ(c.parameterSets[0], kSps);
  EXPECT_EQ(c.parameterSets[1], kPps);
  EXPECT_EQ(c.boxes[4].timeStamp, 120u);
  EXPECT_FALSE(ReadRecording(nullptr, 0).damaged());
  // A parameter area of 111 bytes, all that fits after byte 400 that holds
  // its length, is read whole; a longer one is left out of the header.
  for (const size_t length : {size_t{111}, size_t{112}}) {
    std::vector<uint8_t> area, bigSps = kSps;
    bigSps.resize(length - 24 - 4 - 4 - kPps.size(), 0x5A);
    appendQbox(area, 2, 1, 4, 0, Units({bigSps, kPps}));
    const std::vector<uint8_t> header = makeRvdxHeader(area, 0);
    EXPECT_EQ(ReadRecording(header.data(), header.size()).parameterSets,
              length <= 111 ? NalUnits({bigSps, kPps}) : NalUnits()) << length;
  }
}

TEST(RecordingReader, AFileMayBeginWithBoxes) {
  std::vector<uint8_t> file;
  appendQbox(file, 2, 1, 0, 0, Units({{0x41, 1}}));
  const std::vector<uint8_t> segment = Segment(40, 0);
  file.insert(file.end(), segment.begin(), segment.end());
  const RecordingContents c = ReadRecording(file.data(), file.size());
  EXPECT_FALSE(c.damaged());
  EXPECT_EQ(c.segments.size(), 1u);
  EXPECT_EQ(c.pictures, 2u);
  EXPECT_FALSE(c.boxes[0].key);
}

TEST(RecordingReader, ReportsEachDamageAndResumesAtTheNextIntactBox) {
  std::vector<size_t> starts;
  const std::vector<uint8_t> whole = Recording(&starts);
  const size_t secondBox = starts[0] + 512 + 32;  // after the key picture's 32-byte box
  using Spoil = void (*)(std::vector<uint8_t>&, size_t);
  struct Case {
    const char* name;
    size_t cutAt;  // file length; 0 = whole
    Spoil spoil;   // applied at `at`
    size_t at;
    const char* problem;  // null: no damage
    size_t badOffset, resumeAt;  // the damaged range; resumeAt 0 = the end of the file
    size_t boxes, segments;
    uint32_t deviceLengths = 0;
  };
  const Spoil wrongType = [](std::vector<uint8_t>& f, size_t at) { std::memcpy(&f[at + 4], "qbux", 4); };
  const Case cases[] = {
      {"cut inside a box", secondBox + 30, nullptr, 0, "box cut short", secondBox, 0, 1, 1},
      {"cut inside a header", starts[1] + 100, nullptr, 0, "header cut short", starts[1], 0, 5, 1},
      {"cut after a header's tag", starts[1] + 4, nullptr, 0, "header cut short", starts[1], 0, 5, 1},
      {"cut after 3 bytes of a box", secondBox + 3, nullptr, 0, "box header cut short", secondBox, 0, 1, 1},
      {"box of another type", 0, wrongType, secondBox, "neither a header nor a box", secondBox, secondBox + 40, 14, 3},
      {"box shorter than its header", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 3] = 23; }, secondBox,
       "neither a header nor a box", secondBox, secondBox + 40, 14, 3},
      {"box longer than the file", 0, [](std::vector<uint8_t>& f, size_t at) { f[at] = 0x7F; }, secondBox,
       "box cut short", secondBox, secondBox + 40, 14, 3},
      {"unit past its box", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 24 + 3] = 200; }, starts[1] + 512,
       "unit length past its box", starts[1] + 512, starts[1] + 512 + 32, 14, 3},
      {"box of size 0 in a pipe recording (lengths as sent)", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         f[at + 3] = 0;
         for (size_t s : {size_t{0}, size_t{674}}) std::memset(&f[s + 36], 0, 4);
       },
       starts[1] + 512 + 32, "neither a header nor a box", starts[1] + 512 + 32, starts[1] + 512 + 72, 14, 3, 2},
      {"\"rvdx\" inside the payload after the damage", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         std::memcpy(&f[at + 4], "qbux", 4);
         std::memcpy(&f[at + 24], "rvdx", 4);
       },
       secondBox, "neither a header nor a box", secondBox, secondBox + 40, 14, 3},
      {"a box look-alike too short to be one inside the damage", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         std::memcpy(&f[at + 4], "qbux", 4);
         std::memcpy(&f[at + 24], "\0\0\0\x08qbox", 8);
       },
       secondBox, "neither a header nor a box", secondBox, secondBox + 40, 14, 3},
      {"100 bytes of garbage between two boxes", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         f.insert(f.begin() + static_cast<ptrdiff_t>(at), 100, 0xA5);
         PutLittleEndian(f, 674 + 36, 674 + 100);
       },
       674 + 544, "neither a header nor a box", 674 + 544, 674 + 644, 15, 3},
      {"a segment over 64 KiB, its length as written", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         std::vector<uint8_t> audio;
         appendQbox(audio, 1, 1, 0, 1160, std::vector<uint8_t>(70000, 0xFF));
         f.insert(f.begin() + static_cast<ptrdiff_t>(at), audio.begin(), audio.end());
         PutLittleEndian(f, 674 + 36, uint32_t(at + audio.size() - 674));
       },
       starts[2], nullptr, 0, 0, 16, 3},
      {"a picture whose last unit is empty", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         std::vector<uint8_t> box;
         appendQbox(box, 2, 1, 0, 1160, Units({{0x41, 9}, {}}));
         f.insert(f.begin() + static_cast<ptrdiff_t>(at), box.begin(), box.end());
         PutLittleEndian(f, 674 + 36, uint32_t(at + box.size() - 674));
       },
       starts[2], nullptr, 0, 0, 16, 3},
      {"damage before a box of stream type 6", 0,
       [](std::vector<uint8_t>& f, size_t at) { std::memcpy(&f[at + 4], "qbux", 4), f[at + 45] = 6; },
       starts[0] + 512, "neither a header nor a box", starts[0] + 512, secondBox, 14, 3},
      {"damage before a picture of one one-byte unit", 0,
       [](std::vector<uint8_t>& f, size_t at) {
         std::vector<uint8_t> boxes;
         for (int i = 0; i < 2; ++i) appendQbox(boxes, 2, 1, 0, 1040, Units({{0x41}}));
         std::memcpy(&boxes[4], "qbux", 4);
         f.insert(f.begin() + static_cast<ptrdiff_t>(at), boxes.begin(), boxes.end());
         PutLittleEndian(f, 674 + 36, 674 + 58);
       },
       674 + 544, "neither a header nor a box", 674 + 544, 674 + 573, 16, 3},
      {"wrong segment length (a pipe recording)", 0, [](std::vector<uint8_t>& f, size_t at) { f[at + 36] ^= 1; },
       starts[0], nullptr, 0, 0, 15, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> file(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(c.cutAt ? c.cutAt : whole.size()));
    if (c.spoil) c.spoil(file, c.at);
    const RecordingContents contents = ReadRecording(file.data(), file.size());
    EXPECT_EQ(contents.boxes.size(), c.boxes);
    EXPECT_EQ(contents.segments.size(), c.segments);
    EXPECT_EQ(contents.deviceLengths, c.deviceLengths);
    ASSERT_EQ(contents.damages.size(), c.problem ? 1u : 0u);
    if (!c.problem) continue;
    const DamagedRange& damage = contents.damages[0];
    EXPECT_EQ(damage.problem, c.problem);
    EXPECT_EQ(damage.offset, c.badOffset);
    EXPECT_EQ(damage.end, c.resumeAt ? c.resumeAt : file.size());
    for (const RecordedBox& box : contents.boxes) {
      EXPECT_TRUE(box.offset + box.size <= damage.offset || box.offset >= damage.end) << box.offset;
      EXPECT_EQ(box.damagesBefore, box.offset > damage.offset ? 1u : 0u);
    }
  }
}

// Each row is the box timestamps of one segment's pictures (key pictures
// where named, the first always), with a gap box before picture `gapAt`
// when it is not 0: export times count from the first and strictly
// increase, a timestamp that does not move on taking the next millisecond;
// where the stamps go back at a key picture or jump by more than
// kMaxTimeJumpMs they go on at the picture step, and after a gap box at
// the gap's length.
TEST(RecordingExportPlan, TimesCountFromTheFirstPictureAndStrictlyIncrease) {
  const struct {
    std::vector<uint32_t> stamps;
    std::vector<int64_t> times;
    std::vector<size_t> keys = {};
    size_t jumps = 0;
    size_t gapAt = 0;
    uint64_t gapMs = 0;
  } cases[] = {
      {{1000, 1040, 1080}, {0, 40, 80}},
      {{1000, 1000, 1000, 1040}, {0, 1, 2, 40}},
      {{1000, 990, 1040}, {0, 1, 40}},
      {{0xFFFFF0, 0x1000018}, {0, 40}},  // past 2^24 ms, 4.6 hours of device time
      {{5000, 5040, 5080, 0, 40}, {0, 40, 80, 120, 160}, {3}, 1},  // the device's clock restarted
      {{0, 40, 80, 0, 40, 80}, {0, 40, 80, 120, 160, 200}, {3}, 1},  // the stream began again
      {{0, 40, 80, 10080, 10120}, {0, 40, 80, 120, 160}, {}, 1},  // a jump of 10 s
      {{0, 40, 2040, 2080}, {0, 40, 2040, 2080}},                 // 2 s: pictures the device left out
      {{0, 40, 80, 0, 40}, {0, 40, 80, 9080, 9120}, {3}, 1, 3, 9000},  // a reconnection of 9 s
      {{0, 40, 80, 90, 130}, {0, 40, 80, 1080, 1120}, {3}, 1, 3, 1000},  // the gap box wins over the stamps
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> file = Header();
    for (size_t i = 0; i < c.stamps.size(); ++i) {
      if (c.gapAt && i == c.gapAt) {
        uint8_t gap[kGapBoxSize];
        std::memset(gap, 0xA5, sizeof gap);
        MakeGapBox(c.gapMs, gap);
        // The documented box: 32 bytes, valid, stream type "gp", the gap big-endian.
        const std::vector<uint8_t> documented = {0, 0, 0, 32, 'q', 'b', 'o', 'x', 0, 0, 0, 1, 'g', 'p', 0, 0,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 uint8_t(c.gapMs >> 8), uint8_t(c.gapMs)};
        EXPECT_EQ(std::vector<uint8_t>(std::begin(gap), std::end(gap)), documented);
        file.insert(file.end(), std::begin(gap), std::end(gap));
      }
      const bool key = i == 0 || std::find(c.keys.begin(), c.keys.end(), i) != c.keys.end();
      appendQbox(file, 2, 1, key ? 4 : 0, c.stamps[i], Units({{uint8_t(key ? 0x65 : 0x41), 9}}));
    }
    const RecordingContents contents = ReadRecording(file.data(), file.size());
    std::vector<int64_t> times;
    for (const ExportedPicture& picture : PlanExport(file.data(), file.size(), contents).pictures)
      times.push_back(picture.presentationTime);
    EXPECT_EQ(times, c.times) << c.stamps.size() << " " << c.stamps.back();
    EXPECT_EQ(contents.jumps.size(), c.jumps) << c.stamps.back();
    // The mended timeline is the recording's duration too.
    if (c.jumps) {
      EXPECT_EQ(contents.durationMs, c.times.back() + contents.pictureStep) << c.stamps.back();
    }
    if (!contents.jumps.empty()) {
      EXPECT_EQ(contents.jumps[0].gapMs, c.gapAt ? int64_t(c.gapMs) : -1);
    }
  }
}

}  // namespace
