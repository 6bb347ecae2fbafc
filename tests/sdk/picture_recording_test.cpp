// Kind-7100 recordings: what the SDK receives for the channel is what the
// file holds, vkt-rec exports it to MKV (MJPEG) with every picture at its
// time, and the reader keeps every whole record around damage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

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

}  // namespace
