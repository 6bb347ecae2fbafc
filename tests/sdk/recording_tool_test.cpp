// vkt-rec on recordings the SDK made from the simulator: info counts what
// the reader finds, export writes an MP4 whose video frames (read back with
// libavformat) are exactly the recorded pictures; a truncated recording is
// exported up to its last whole picture, and a damaged one makes info exit
// 1 naming the first bad offset.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "annex_b_recording.h"
#include "recording_reader.h"
#include "tests/common/devsim_process.h"
#include "tests/common/h264_test_encoder.h"
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
  // Two recordings of about two seconds for the whole suite: into a file
  // (stream.rec), then into a FIFO as a player reading it live would take it
  // (kept as live.rec).
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vkt_rec_XXXXXX";
    dir_ = mkdtemp(pattern);
    const std::string fifo = dir_ + "/live.fifo";
    mkfifo(fifo.c_str(), 0600);
    std::vector<uint8_t> live;
    std::thread reader([&] { live = ReadBytes(fifo); });
    vkt::test::DevsimProcess devsim(VKT_KIND_H264, {"--key-interval", "10"});
    void* handle = nullptr;
    display_test::TestWindow window(0, 0, 352, 288);
    if (devsim.port() != 0 && VKT_CreateHandle(VKT_KIND_H264, &handle) == VKT_OK &&
        VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin") == VKT_OK &&
        VKT_OpenChannel(handle, 0, window.handle()) == VKT_OK) {
      for (const std::string& target : {dir_ + "/stream.rec", fifo}) {
        if (VKT_StartRecord(handle, 0, target.c_str()) != VKT_OK) continue;
        const DWORD start = timeGetTime();
        while (timeGetTime() - start < 2000) {
          MSG msg;
          while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
          Sleep(5);
        }
        VKT_StopRecord(handle, 0);
      }
    }
    VKT_CloseServer(handle);
    // Should the recording not have opened the FIFO, the reader still ends.
    close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    reader.join();
    WriteBytes(dir_ + "/live.rec", live);
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
  EXPECT_EQ(info.fields["boxes"], std::to_string(contents.boxes.size()));
  EXPECT_EQ(info.fields["picture size"], "352x288");
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.3f s", contents.durationMs / 1000.0);
  EXPECT_EQ(info.fields["duration"], duration);

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
  ToolRun damagedInfo = RunTool(dir_, "info " + damaged);
  EXPECT_EQ(damagedInfo.exitCode, 1);
  EXPECT_EQ(damagedInfo.errors, "vkt-rec: " + damaged + ": damaged at offset " + std::to_string(middle.offset) +
                                    ": neither a header nor a box\n");
  // Export goes on at the header after the damage: only the damaged
  // segment's pictures from the spoilt box on are lost.
  uint32_t lost = 0;
  for (const RecordedBox& box : whole.boxes) lost += box.video && box.segment == middle.segment && box.offset >= middle.offset;
  EXPECT_EQ(damagedInfo.fields["damaged"].find("offset " + std::to_string(middle.offset) + " to "), 0u);
  const ToolRun resumed = RunTool(dir_, "export " + damaged + " " + dir_ + "/damaged.mp4");
  EXPECT_EQ(resumed.exitCode, 0) << resumed.errors;
  EXPECT_NE(resumed.errors.find("resumed at the next intact box"), std::string::npos) << resumed.errors;
  EXPECT_EQ(CountMp4Frames(dir_ + "/damaged.mp4", width, height), int(whole.pictures - lost));

  // Damage that costs no picture: export goes on without waiting for a key
  // picture, since the next picture's frame_num follows the last one kept.
  const struct {
    const char* name;
    bool afterEveryPicture;  // else the first audio box is spoilt
  } harmless[] = {{"a malformed box after every picture", true}, {"an audio box of another type", false}};
  for (const auto& h : harmless) {
    SCOPED_TRACE(h.name);
    std::vector<uint8_t> file;
    size_t copied = 0;
    bool spoilt = false;
    for (const RecordedBox& box : whole.boxes) {
      if (box.video != h.afterEveryPicture || (spoilt && !h.afterEveryPicture)) continue;
      file.insert(file.end(), bytes.begin() + ptrdiff_t(copied), bytes.begin() + ptrdiff_t(box.offset + box.size));
      copied = box.offset + box.size;
      if (h.afterEveryPicture) {
        const uint8_t bad[32] = {0, 0, 0, 32, 'q', 'b', 'u', 'x'};
        file.insert(file.end(), std::begin(bad), std::end(bad));
      } else {
        file[file.size() - box.size + 4] = 'x';
        spoilt = true;
      }
    }
    file.insert(file.end(), bytes.begin() + ptrdiff_t(copied), bytes.end());
    const std::string path = dir_ + "/harmless.rec";
    WriteBytes(path, file);
    const ToolRun run = RunTool(dir_, "export " + path + " " + dir_ + "/harmless.mp4");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("pictures went on without a key picture"), std::string::npos) << run.errors;
    EXPECT_EQ(CountMp4Frames(dir_ + "/harmless.mp4", width, height), int(whole.pictures));
  }

  // Nothing to export: no file left behind.
  const std::string empty = dir_ + "/empty.rec";
  WriteBytes(empty, {});
  const ToolRun nothing = RunTool(dir_, "export " + empty + " " + dir_ + "/empty.mp4");
  EXPECT_EQ(nothing.exitCode, 1);
  EXPECT_FALSE(fs::exists(dir_ + "/empty.mp4"));
}

// Each way of naming a wrong file gets one line naming that file; the
// output's extension chooses the container.
TEST_F(RecordingTool, MessagesNameTheRightFileAndTheExtensionTheContainer) {
  const std::string recording = dir_ + "/stream.rec";
  struct Case {
    std::string arguments;
    int exitCode;
    std::string error;       // the start of stderr
    const char* container;   // what libavformat reads the output as; null for none
    std::string output;
  };
  // A header's tag alone: the file's one read ends exactly at its end.
  WriteBytes(dir_ + "/tag.rec", {'r', 'v', 'd', 'x'});
  const Case cases[] = {
      {"info " + dir_, 1, "vkt-rec: " + dir_ + ": is a directory, not a recording\n", nullptr, ""},
      {"info " + dir_ + "/tag.rec", 1, "vkt-rec: " + dir_ + "/tag.rec: damaged at offset 0: header cut short\n",
       nullptr, ""},
      {"info " + dir_ + "/missing.rec", 1, "vkt-rec: " + dir_ + "/missing.rec: cannot open the file: No such file", nullptr, ""},
      {"export " + recording + " /missing/out.mp4", 1, "vkt-rec: /missing/out.mp4: cannot create the file\n", nullptr, ""},
      {"export " + recording + " " + dir_ + "/out.avi", 1, "vkt-rec: " + dir_ + "/out.avi: unknown container", nullptr,
       dir_ + "/out.avi"},
      {"export " + recording + " " + dir_ + "/out.mkv", 0, "", "matroska", dir_ + "/out.mkv"},
      {"export " + recording + " " + dir_ + "/out.MOV", 0, "", "mov", dir_ + "/out.MOV"},
      {"export " + recording, 2, "vkt-rec: bad command line\nusage: vkt-rec info FILE", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    // A refused output that exists already is left alone.
    if (!c.output.empty() && !c.container) WriteBytes(c.output, {'x'});
    const ToolRun run = RunTool(dir_, c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.errors.substr(0, c.error.size()), c.error);
    if (c.output.empty()) continue;
    EXPECT_TRUE(fs::exists(c.output));
    if (!c.container) continue;
    AVFormatContext* input = nullptr;
    ASSERT_EQ(avformat_open_input(&input, c.output.c_str(), nullptr, nullptr), 0);
    EXPECT_NE(std::string(input->iformat->name).find(c.container), std::string::npos) << input->iformat->name;
    avformat_close_input(&input);
  }
}

// A recording into a FIFO, as the viewer makes one: its headers keep the
// device's segment lengths, yet info reads it whole and export writes
// every picture.
TEST_F(RecordingTool, AFifoRecordingReadsBackWhole) {
  const std::vector<uint8_t> bytes = ReadBytes(dir_ + "/live.rec");
  const RecordingContents contents = ReadRecording(bytes.data(), bytes.size());
  EXPECT_FALSE(contents.damaged());
  EXPECT_GT(contents.pictures, 20u);
  EXPECT_EQ(contents.deviceLengths + 1, contents.segments.size());
  EXPECT_EQ(RunTool(dir_, "info " + dir_ + "/live.rec").exitCode, 0);
  const ToolRun exported = RunTool(dir_, "export " + dir_ + "/live.rec " + dir_ + "/live.mp4");
  EXPECT_EQ(exported.exitCode, 0) << exported.errors;
  int width = 0, height = 0;
  EXPECT_EQ(CountMp4Frames(dir_ + "/live.mp4", width, height), int(contents.pictures));
}

// Decoded pictures (size and samples) in presentation order, with the
// times the decoder gave them.
struct DecodedPictures {
  std::vector<std::string> pictures;
  std::vector<int64_t> times;
};

void ReceivePictures(AVCodecContext* decoder, AVFrame* frame, DecodedPictures& out) {
  while (avcodec_receive_frame(decoder, frame) == 0) {
    std::string samples = std::to_string(frame->width) + "x" + std::to_string(frame->height) + ":";
    for (int plane = 0, shift = 0; plane < 3; ++plane, shift = 1)
      for (int y = 0; y < (frame->height + shift) >> shift; ++y)
        samples.append(reinterpret_cast<const char*>(frame->data[plane] + y * frame->linesize[plane]),
                       (frame->width + shift) >> shift);
    out.pictures.push_back(samples);
    out.times.push_back(frame->best_effort_timestamp);
  }
}

// The video of a file (a container, or raw Annex-B H.264), read with
// libavformat and decoded.
DecodedPictures DecodeFile(const std::string& path) {
  DecodedPictures out;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return out;
  AVCodecContext* decoder = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264));
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  const int video = avformat_find_stream_info(input, nullptr) >= 0
                        ? av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                        : -1;
  if (video >= 0 && avcodec_parameters_to_context(decoder, input->streams[video]->codecpar) >= 0 &&
      avcodec_open2(decoder, nullptr, nullptr) == 0) {
    decoder->pkt_timebase = input->streams[video]->time_base;
    while (av_read_frame(input, packet) >= 0) {
      if (packet->stream_index == video) avcodec_send_packet(decoder, packet);
      av_packet_unref(packet);
      ReceivePictures(decoder, frame, out);
    }
    avcodec_send_packet(decoder, nullptr);
    ReceivePictures(decoder, frame, out);
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
  return out;
}

// A picture whose pattern moves, so that every kind of picture is used.
void MovingPicture(int index, uint8_t* const planes[3], const int strides[3], int width, int height) {
  for (int plane = 0, shift = 0; plane < 3; ++plane, shift = 1)
    for (int y = 0; y < height >> shift; ++y)
      for (int x = 0; x < width >> shift; ++x)
        planes[plane][y * strides[plane] + x] = uint8_t((x + 3 * index) ^ (y - 2 * index + plane) ^ ((x * y) >> 7));
}

// Export compared picture by picture with libavcodec's decode of the
// source: B-frames, a picture size change and sliced pictures, in each
// container, and a recording cut inside a B-frame group.
TEST(RecordingExport, EveryPictureDecodesAsTheSourceInOrder) {
  struct Case {
    const char* name;
    std::vector<vkt::test::H264TestSettings> parts;  // encoded one after the other
    int picturesPerPart;
    const char* output;
    size_t recordedPictures;  // decoding order; 0 = all
    size_t shownPictures;     // expected in the export; 0 = every source picture
  };
  const char* fixedGroups = "b-adapt=0:scenecut=0";
  const vkt::test::H264TestSettings bFrames{352, 288, 12, "ultrafast", nullptr, "high", 3, 0, fixedGroups};
  const Case cases[] = {
      {"high profile, 3 B-frames", {bFrames}, 30, "b.mp4", 0, 0},
      {"size change", {{352, 288, 10, "ultrafast", nullptr}, {176, 144, 10, "ultrafast", nullptr}}, 15, "size.mkv", 0, 0},
      {"4 slices", {{352, 288, 10, "ultrafast", nullptr, "main", 0, 4}}, 20, "slices.mov", 0, 0},
      // I0 P4 B2 B1 B3 P8 | B6 B5 B7 lost: P8 cannot show in order.
      {"cut inside a B-frame group", {bFrames}, 30, "cut.mp4", 6, 5},
  };
  av_log_set_level(AV_LOG_ERROR);
  char pattern[] = "/tmp/vkt_export_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> source;
    for (const vkt::test::H264TestSettings& part : c.parts) {
      const std::vector<uint8_t> encoded =
          vkt::test::encodeH264(part, c.picturesPerPart, [&](int index, uint8_t* const planes[3], const int strides[3]) {
            MovingPicture(index, planes, strides, part.width, part.height);
          });
      if (encoded.empty()) GTEST_SKIP() << "no H.264 encoder";
      source.insert(source.end(), encoded.begin(), encoded.end());
    }
    WriteBytes(dir + "/source.h264", source);
    WriteBytes(dir + "/source.rec", vkt::devsim::recordAnnexB(source, c.recordedPictures));
    const std::string output = dir + "/" + c.output;
    const ToolRun exported = RunTool(dir, "export " + dir + "/source.rec " + output);
    EXPECT_EQ(exported.exitCode, 0) << exported.errors;

    const DecodedPictures expected = DecodeFile(dir + "/source.h264");
    const DecodedPictures got = DecodeFile(output);
    const size_t shown = c.shownPictures ? c.shownPictures : expected.pictures.size();
    ASSERT_EQ(got.pictures.size(), shown);
    for (size_t i = 0; i < shown; ++i) EXPECT_TRUE(got.pictures[i] == expected.pictures[i]) << "picture " << i;
    for (size_t i = 1; i < got.times.size(); ++i) EXPECT_GT(got.times[i], got.times[i - 1]) << "picture " << i;
  }
  fs::remove_all(dir);
}

}  // namespace
