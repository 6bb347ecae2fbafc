// Kind-7100 recordings: what the SDK receives for the channel is what the
// file holds, vkt-rec exports it to MKV (MJPEG) with every picture at its
// time, and the reader keeps every whole record around damage.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "channel_picture.h"
#include "picture_recording_format.h"
#include "picture_recording_reader.h"
#include "picture_recording_writer.h"
#include "tests/common/devsim_process.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct InfoRun { int exitCode = -1; std::string out, errors; };

InfoRun RecInfo(const std::string& path) {
  const std::string command = std::string(VKT_REC_TOOL) + " info " + path + " >" + path + ".out 2>" + path + ".err";
  const int status = std::system(command.c_str());
  const Bytes out = ReadFile(path + ".out"), errors = ReadFile(path + ".err");
  for (const char* end : {".out", ".err"}) std::remove((path + end).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(out.begin(), out.end()),
          std::string(errors.begin(), errors.end())};
}

TEST(PictureRecording, EveryPictureReceivedIsExportedAtItsTime) {
  const std::string base = testing::TempDir() + "vkt-pictures-" + std::to_string(getpid());
  vkt::test::DevsimProcess devsim(VKT_KIND_JPEG, {"--camera"});
  void* handle = nullptr;
  ASSERT_EQ(VKT_CreateHandle(VKT_KIND_JPEG, &handle), VKT_OK);
  ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
  ASSERT_EQ(VKT_RecordPictures(handle, 0, (base + ".rec").c_str()), VKT_OK);
  ASSERT_EQ(VKT_OpenChannelWithoutWindow(handle, 0, 8), VKT_OK);
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < 1500) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
  EXPECT_EQ(VKT_RecordPictures(handle, 0, nullptr), VKT_OK);
  VKT_PICTURE_COUNTS counts{};
  counts.size = sizeof counts;
  ASSERT_EQ(VKT_GetPictureCounts(handle, 0, &counts), VKT_OK);
  VKT_CloseServer(handle);

  const Bytes file = ReadFile(base + ".rec");
  PictureRecording recording;
  std::string problem;
  ASSERT_TRUE(ReadPictureRecording(file.data(), file.size(), recording, problem)) << problem;
  EXPECT_TRUE(recording.damaged.empty());
  ASSERT_GT(counts.received, 10u);
  EXPECT_EQ(recording.pictures.size(), counts.received);
  // The simulator's pictures are 352x288.
  const InfoRun info = RecInfo(base + ".rec");
  EXPECT_EQ(info.exitCode, 0) << info.errors;
  const std::string head = "kind-7100 recording of channel 0\npictures: " + std::to_string(counts.received) + "\n";
  EXPECT_EQ(info.out.rfind(head, 0), 0u) << info.out;
  EXPECT_NE(info.out.find("\npicture size: 352x288\n"), std::string::npos) << info.out;

  ASSERT_EQ(std::system((std::string(VKT_REC_TOOL) + " export " + base + ".rec " + base + ".mkv >/dev/null").c_str()),
            0);
  AVFormatContext* input = nullptr;
  ASSERT_EQ(avformat_open_input(&input, (base + ".mkv").c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(input, nullptr), 0);
  EXPECT_EQ(input->streams[0]->codecpar->codec_id, AV_CODEC_ID_MJPEG);
  AVPacket* packet = av_packet_alloc();
  size_t index = 0;
  while (av_read_frame(input, packet) >= 0) {
    if (index < recording.pictures.size()) {
      const RecordedPicture& recorded = recording.pictures[index];
      const int64_t ms = av_rescale_q(packet->pts, input->streams[0]->time_base, {1, 1000});
      // At its arrival from the first picture's, give or take the millisecond
      // that keeps two close pictures apart.
      EXPECT_NEAR(double(ms), (recorded.arrivalMicros - recording.pictures[0].arrivalMicros) / 1000.0, 1.5) << index;
      EXPECT_TRUE(packet->size == int(recorded.length) &&
                  std::equal(packet->data, packet->data + packet->size, file.begin() + recorded.offset))
          << index;
    }
    ++index;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  EXPECT_EQ(index, recording.pictures.size());
  std::remove((base + ".rec").c_str());
  std::remove((base + ".mkv").c_str());
}

// Three pictures written, then the file spoilt: each whole record is read,
// the spoilt bytes make one damaged range, and a cut record is left out.
TEST(PictureRecording, ReadsEveryWholeRecordAroundDamage) {
  const std::string path = testing::TempDir() + "vkt-damage-" + std::to_string(getpid()) + ".rec";
  const Bytes picture = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
  PictureRecordingWriter writer;
  ASSERT_TRUE(writer.Start(path.c_str(), 3));
  // Nothing to write is no record and no failure.
  EXPECT_TRUE(writer.Write(picture.data(), 0, 500));
  EXPECT_TRUE(writer.Write(nullptr, uint32_t(picture.size()), 500));
  for (uint64_t at : {1000, 41000, 81000}) ASSERT_TRUE(writer.Write(picture.data(), uint32_t(picture.size()), at));
  writer.Stop();
  const Bytes whole = ReadFile(path);
  std::remove(path.c_str());
  const size_t record = kPictureRecordHeaderBytes + picture.size();
  const size_t second = kPictureRecordingHeaderBytes + record;
  const struct {
    const char* name;
    size_t spoil, cutTo;  // a byte to spoil (0: none), the length to keep
    size_t pictures, damaged;
  } cases[] = {
      {"whole", 0, whole.size(), 3, 0},
      {"second tag spoilt", second, whole.size(), 2, 1},
      {"second length too large", second + 7, whole.size(), 2, 1},
      {"last record cut", 0, whole.size() - 1, 2, 1},
      {"header only", 0, kPictureRecordingHeaderBytes, 0, 0},
  };
  for (const auto& c : cases) {
    Bytes bytes(whole.begin(), whole.begin() + c.cutTo);
    if (c.spoil) bytes[c.spoil] ^= 0x40;
    PictureRecording recording;
    std::string problem;
    ASSERT_TRUE(ReadPictureRecording(bytes.data(), bytes.size(), recording, problem)) << c.name;
    EXPECT_EQ(recording.channel, 3u) << c.name;
    EXPECT_EQ(recording.pictures.size(), c.pictures) << c.name;
    EXPECT_EQ(recording.damaged.size(), c.damaged) << c.name;
    if (!recording.pictures.empty()) {
      EXPECT_EQ(recording.pictures.back().arrivalMicros % 40000, 0u) << c.name;
    }
  }
  PictureRecording recording;
  std::string problem;
  EXPECT_FALSE(ReadPictureRecording(whole.data() + 1, whole.size() - 1, recording, problem));
}

// Recordings laid out byte by byte: what the reader finds and what
// `vkt-rec info` prints of it.
TEST(PictureRecording, InfoTellsWhatTheReaderFinds) {
  const Bytes noFrameHeader = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
  const Bytes notAJpegStart = {0xFF, 0x00, 1, 2, 3, 0xFF, 0xD9};
  const std::vector<uint8_t> rgb(size_t{64} * 48 * 3, 0x80);
  const Bytes whole = vkt::devsim::encodeJpeg(rgb.data(), 64, 48);
  // Cut at the end of its frame header (FF C0, then 17 bytes for three
  // components): the size is there, the read fails.
  const uint8_t frameMarker[2] = {0xFF, 0xC0};
  const auto frameHeader = std::search(whole.begin(), whole.end(), frameMarker, frameMarker + 2);
  ASSERT_NE(frameHeader, whole.end());
  const Bytes cutAfterFrameHeader(whole.begin(), frameHeader + 2 + 17);
  // A comment longer than the one the size read keeps: the read says so, the size stands.
  Bytes commented = {0xFF, 0xD8, 0xFF, 0xFE, 0, 34};
  commented.insert(commented.end(), 32, 'c');
  commented.insert(commented.end(), whole.begin() + 2, whole.end());
  struct Record { uint64_t arrival; Bytes picture; };
  const uint32_t record = uint32_t(kPictureRecordHeaderBytes + noFrameHeader.size());  // 23
  const struct {
    const char* name;
    uint32_t channel, reserved;
    std::vector<Record> records;
    size_t cutBytes;  // taken off the end
    std::vector<uint64_t> arrivals;  // of the pictures read
    std::vector<std::pair<size_t, size_t>> damaged;
    std::string info;
    int exitCode;
  } cases[] = {
      {"pictures within a millisecond set one apart", 0x01020304, 0,
       {{0, noFrameHeader}, {400, noFrameHeader}, {900, noFrameHeader}}, 0,
       {0, 400, 900}, {},
       "kind-7100 recording of channel 16909060\npictures: 3\nduration: 0.002 s\npicture size: unknown\n", 0},
      {"the size from the first picture", 5, 0, {{0, whole}, {40000, noFrameHeader}}, 0, {0, 40000}, {},
       "kind-7100 recording of channel 5\npictures: 2\nduration: 0.040 s\npicture size: 64x48\n", 0},
      {"a first picture that does not read", 5, 0, {{0, cutAfterFrameHeader}}, 0, {0}, {},
       "kind-7100 recording of channel 5\npictures: 1\nduration: 0.000 s\npicture size: unknown\n", 0},
      {"the size from a picture with a long comment", 5, 0, {{0, commented}}, 0, {0}, {},
       "kind-7100 recording of channel 5\npictures: 1\nduration: 0.000 s\npicture size: 64x48\n", 0},
      {"an arrival in all eight bytes, the reserved word ignored", 2, 0xFFFFFFFF,
       {{0, noFrameHeader}, {0x0102030405060708, noFrameHeader}}, 0, {0, 0x0102030405060708}, {},
       "kind-7100 recording of channel 2\npictures: 2\nduration: 72623859790.382 s\npicture size: unknown\n", 0},
      {"a record whose picture is no JPEG", 1, 0,
       {{0, noFrameHeader}, {40000, notAJpegStart}, {80000, noFrameHeader}}, 0,
       {0, 80000}, {{16 + record, 16 + 2 * record}},
       "kind-7100 recording of channel 1\npictures: 2\nduration: 0.080 s\npicture size: unknown\n"
       "damaged: offset 39 to 62 (23 bytes)\n", 1},
      {"the last record cut", 1, 0, {{0, noFrameHeader}, {40000, noFrameHeader}}, 3, {0},
       {{16 + record, 16 + 2 * record - 3}},
       "kind-7100 recording of channel 1\npictures: 1\nduration: 0.000 s\npicture size: unknown\n"
       "damaged: offset 39 to 59 (20 bytes)\n", 1},
  };
  const std::string path = testing::TempDir() + "vkt-info-" + std::to_string(getpid()) + ".rec";
  const auto put = [](Bytes& bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = {'V', 'K', 'T', 'J', 'P', 'E', 'G', '1'};
    put(file, c.channel, 4);
    put(file, c.reserved, 4);
    for (const Record& r : c.records) {
      file.insert(file.end(), {'p', 'i', 'c', 't'});
      put(file, r.picture.size(), 4);
      put(file, r.arrival, 8);
      file.insert(file.end(), r.picture.begin(), r.picture.end());
    }
    file.resize(file.size() - c.cutBytes);
    PictureRecording recording;
    std::string problem;
    ASSERT_TRUE(ReadPictureRecording(file.data(), file.size(), recording, problem)) << problem;
    EXPECT_EQ(recording.channel, c.channel);
    std::vector<uint64_t> arrivals;
    for (const RecordedPicture& p : recording.pictures) arrivals.push_back(p.arrivalMicros);
    EXPECT_EQ(arrivals, c.arrivals);
    EXPECT_EQ(recording.damaged, c.damaged);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const InfoRun info = RecInfo(path);
    EXPECT_EQ(info.exitCode, c.exitCode) << info.errors;
    EXPECT_EQ(info.out, c.info);
    for (const auto& [first, end] : c.damaged)
      EXPECT_NE(info.errors.find("damaged at offset " + std::to_string(first)), std::string::npos) << info.errors;
  }
  std::remove(path.c_str());
}

}  // namespace
