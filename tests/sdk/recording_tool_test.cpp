// vkt-rec on recordings the SDK made from the simulator: info counts what
// the reader finds, export writes an MP4 whose video frames (read back with
// libavformat) are exactly the recorded pictures; a truncated recording is
// exported up to its last whole picture, and a damaged one makes info exit
// 1 naming the first bad offset.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "recording_reader.h"
#include "tests/common/devsim_process.h"
#include "tests/display/display_test_support.h"
#include "vkt7100sdk.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::map<std::string, std::string> fields;  // "name: value" lines of stdout
  std::string errors;
};

ToolRun RunTool(const std::string& dir, const std::string& arguments) {
  const std::string out = dir + "/stdout", err = dir + "/stderr";
  const int status = std::system((std::string(VKT_REC_TOOL) + " " + arguments + " >" + out + " 2>" + err).c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) run.fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  std::ifstream errors(err);
  run.errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
  return run;
}

// Video frames of an MP4 file and its picture size; -1 when it does not open.
int CountMp4Frames(const std::string& path, int& width, int& height) {
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return -1;
  int frames = -1;
  if (avformat_find_stream_info(input, nullptr) >= 0) {
    const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
      width = input->streams[video]->codecpar->width;
      height = input->streams[video]->codecpar->height;
      frames = 0;
      AVPacket* packet = av_packet_alloc();
      while (av_read_frame(input, packet) >= 0) {
        frames += packet->stream_index == video;
        av_packet_unref(packet);
      }
      av_packet_free(&packet);
    }
  }
  avformat_close_input(&input);
  return frames;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class RecordingTool : public ::testing::Test {
 protected:
  // One recording of about two seconds for the whole suite.
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vkt_rec_XXXXXX";
    dir_ = mkdtemp(pattern);
    vkt::test::DevsimProcess devsim(VKT_KIND_H264, {"--key-interval", "10"});
    void* handle = nullptr;
    display_test::TestWindow window(0, 0, 352, 288);
    if (devsim.port() == 0 || VKT_CreateHandle(VKT_KIND_H264, &handle) != VKT_OK) return;
    if (VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin") == VKT_OK &&
        VKT_OpenChannel(handle, 0, window.handle()) == VKT_OK &&
        VKT_StartRecord(handle, 0, (dir_ + "/stream.rec").c_str()) == VKT_OK) {
      const DWORD start = timeGetTime();
      while (timeGetTime() - start < 2000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(5);
      }
      VKT_StopRecord(handle, 0);
    }
    VKT_CloseServer(handle);
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  static std::string dir_;
};
std::string RecordingTool::dir_;

TEST_F(RecordingTool, InfoAndExportOfAWholeRecording) {
  const std::string recording = dir_ + "/stream.rec";
  const std::vector<uint8_t> bytes = ReadBytes(recording);
  const RecordingContents contents = ReadRecording(bytes.data(), bytes.size());
  ASSERT_FALSE(contents.damaged());
  ASSERT_GT(contents.pictures, 20u);

  ToolRun info = RunTool(dir_, "info " + recording);
  EXPECT_EQ(info.exitCode, 0) << info.errors;
  EXPECT_EQ(info.fields["pictures"], std::to_string(contents.pictures));
  EXPECT_EQ(info.fields["key pictures"], std::to_string(contents.keyPictures));
  EXPECT_EQ(info.fields["segments"], std::to_string(contents.segments.size()));
  EXPECT_EQ(info.fields["picture size"], "352x288");

  const std::string mp4 = dir_ + "/whole.mp4";
  const ToolRun exported = RunTool(dir_, "export " + recording + " " + mp4);
  EXPECT_EQ(exported.exitCode, 0) << exported.errors;
  int width = 0, height = 0;
  // The recording starts at a header, in front of a key picture: every picture is exported.
  EXPECT_EQ(CountMp4Frames(mp4, width, height), int(contents.pictures));
  EXPECT_EQ(width, 352);
  EXPECT_EQ(height, 288);
}

TEST_F(RecordingTool, TruncatedAndDamagedRecordings) {
  const std::vector<uint8_t> bytes = ReadBytes(dir_ + "/stream.rec");
  const RecordingContents whole = ReadRecording(bytes.data(), bytes.size());
  ASSERT_GT(whole.boxes.size(), 20u);
  const RecordedBox& middle = whole.boxes[whole.boxes.size() / 2];

  // Cut inside a box: the pictures before it are exported, the cut reported.
  const std::string cut = dir_ + "/cut.rec";
  WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(middle.offset + 30)));
  const RecordingContents cutContents = ReadRecording(bytes.data(), middle.offset + 30);
  const ToolRun info = RunTool(dir_, "info " + cut);
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_NE(info.errors.find("damaged at offset " + std::to_string(middle.offset)), std::string::npos) << info.errors;
  const std::string mp4 = dir_ + "/cut.mp4";
  const ToolRun exported = RunTool(dir_, "export " + cut + " " + mp4);
  EXPECT_EQ(exported.exitCode, 0) << exported.errors;
  EXPECT_NE(exported.errors.find("cut after the last whole picture"), std::string::npos);
  int width = 0, height = 0;
  EXPECT_EQ(CountMp4Frames(mp4, width, height), int(cutContents.pictures));

  // A spoilt box type in the middle: info names its offset.
  std::vector<uint8_t> spoilt = bytes;
  spoilt[middle.offset + 4] = 'x';
  const std::string damaged = dir_ + "/damaged.rec";
  WriteBytes(damaged, spoilt);
  const ToolRun damagedInfo = RunTool(dir_, "info " + damaged);
  EXPECT_EQ(damagedInfo.exitCode, 1);
  EXPECT_EQ(damagedInfo.errors, "vkt-rec: " + damaged + ": damaged at offset " + std::to_string(middle.offset) +
                                    ": neither a header nor a box\n");

  // Nothing to export: no file left behind.
  const std::string empty = dir_ + "/empty.rec";
  WriteBytes(empty, {});
  const ToolRun nothing = RunTool(dir_, "export " + empty + " " + dir_ + "/empty.mp4");
  EXPECT_EQ(nothing.exitCode, 1);
  EXPECT_FALSE(fs::exists(dir_ + "/empty.mp4"));
}

}  // namespace
