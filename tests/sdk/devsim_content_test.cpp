// The simulator's real content through the SDK's exported functions: the
// JPEG files of --pictures and the H.264 file of --h264 are what the
// windows show (solid-colour sources, so every drawn picture is one of
// them and never the simulator's own test cards); sources that cannot be
// served are refused with a message naming them and exit status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "tests/common/devsim_process.h"
#include "tests/common/h264_test_encoder.h"
#include "tests/display/display_test_support.h"
#include "tools/devsim/channel_picture.h"
#include "tools/devsim/device_content.h"
#include "vkt7100sdk.h"

namespace {

using vkt::test::DevsimProcess;
namespace fs = std::filesystem;

struct TempDir {
  TempDir() {
    char pattern[] = "/tmp/vkt_content_XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string at = path + "/" + name;
    std::ofstream(at, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return at;
  }
  std::string path;
};

std::vector<uint8_t> solidJpeg(uint32_t rgb) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < vkt::devsim::kPictureWidth * vkt::devsim::kPictureHeight; ++i)
    pixels.insert(pixels.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
  return vkt::devsim::encodeJpeg(pixels.data(), vkt::devsim::kPictureWidth, vkt::devsim::kPictureHeight);
}

struct Yuv {
  uint8_t y, u, v;
  // Video-range BT.601, as the decoder shows it.
  uint32_t Rgb() const {
    auto clamp = [](double value) { return uint32_t(value < 0 ? 0 : value > 255 ? 255 : value + 0.5); };
    const double luma = 1.164 * (y - 16);
    return clamp(luma + 1.596 * (v - 128)) << 16 | clamp(luma - 0.392 * (u - 128) - 0.813 * (v - 128)) << 8 |
           clamp(luma + 2.017 * (u - 128));
  }
};

// `count` pictures of each colour in turn, as an Annex-B H.264 main-profile
// stream with its parameter sets in band, as a camera or ffmpeg writes it.
std::vector<uint8_t> solidH264(int width, int height, const std::vector<Yuv>& colours, int count) {
  av_log_set_level(AV_LOG_ERROR);
  return vkt::test::encodeH264({width, height, count, "ultrafast"}, int(colours.size()) * count,
                               [&](int index, uint8_t* const planes[3], const int strides[3]) {
                                 const Yuv& colour = colours[index / count];
                                 for (int plane = 0; plane < 3; ++plane) {
                                   const uint8_t value = plane == 0 ? colour.y : plane == 1 ? colour.u : colour.v;
                                   for (int row = 0; row < (plane ? height / 2 : height); ++row)
                                     std::fill_n(planes[plane] + row * strides[plane], plane ? width / 2 : width,
                                                 value);
                                 }
                               });
}

// Dispatches this thread's messages, calling `sample` between, until it
// returns true or `ms` have passed (long enough for a loaded machine).
void PumpSampling(DWORD ms, const std::function<bool()>& sample) {
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (sample()) return;
    Sleep(5);
  }
}

// How many of the files' colours were seen (not black, not foreign).
size_t FilesSeen(const std::set<int>& seen) { return seen.size() - seen.count(-1) - seen.count(-2); }

// Which of `colours` the pixel shows; -1 for black (nothing drawn yet), -2
// for anything else.
int Match(uint32_t pixel, const std::vector<uint32_t>& colours) {
  for (size_t i = 0; i < colours.size(); ++i)
    if (display_test::ColourDistance(pixel, colours[i]) <= 16) return int(i);
  return pixel == 0 ? -1 : -2;
}

TEST(DevsimContent, PicturesFromADirectoryAreWhatTheChannelsShow) {
  TempDir dir;
  const std::vector<uint32_t> colours = {0xD02020, 0x20C040, 0x3040D0};
  for (size_t i = 0; i < colours.size(); ++i) dir.file(std::to_string(i) + ".jpg", solidJpeg(colours[i]));
  dir.file("notes.txt", {'x'});
  DevsimProcess devsim(VKT_KIND_JPEG, {"--pictures", dir.path, "--channels", "2"});
  ASSERT_NE(devsim.port(), 0);
  void* handle = nullptr;
  ASSERT_EQ(VKT_CreateHandle(VKT_KIND_JPEG, &handle), VKT_OK);
  ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
  display_test::TestWindow windows[2] = {{0, 0, 352, 288}, {400, 0, 352, 288}};
  for (uint32_t channel = 0; channel < 2; ++channel)
    ASSERT_EQ(VKT_OpenChannel(handle, channel, windows[channel].handle()), VKT_OK);

  std::set<int> seen[2];
  PumpSampling(15000, [&] {
    for (int w = 0; w < 2; ++w) {
      const std::vector<uint32_t> pixels = windows[w].ReadPixels();
      seen[w].insert(Match(pixels[144 * 352 + 176], colours));
    }
    return FilesSeen(seen[0]) >= 2 && FilesSeen(seen[1]) >= 2;
  });
  VKT_CloseServer(handle);
  for (int w = 0; w < 2; ++w) {
    SCOPED_TRACE(w);
    EXPECT_EQ(seen[w].count(-2), 0u) << "a picture that is none of the files";
    EXPECT_GE(FilesSeen(seen[w]), 2u) << "the files are served in turn";
  }
}

// Solid colours: both are shown as the stream runs through the file (and
// loops). Lossless noise makes every picture a key picture of some 1.4 MB,
// as a high-rate camera sends them: each must reach the decoder whole.
TEST(DevsimContent, AnH264FileIsWhatTheChannelShows) {
  TempDir dir;
  const std::vector<Yuv> yuv = {{81, 90, 240}, {145, 54, 34}};
  std::minstd_rand random(7);
  const std::vector<uint8_t> noise = vkt::test::encodeH264(
      {.width = 1024, .height = 576, .keyInterval = 1, .preset = "ultrafast", .x264Params = "qp=0"}, 2,
      [&](int, uint8_t* const planes[3], const int strides[3]) {
        for (int plane = 0; plane < 3; ++plane)
          for (int row = 0; row < (plane ? 288 : 576); ++row)
            for (int x = 0; x < (plane ? 512 : 1024); ++x) planes[plane][row * strides[plane] + x] = uint8_t(random());
      });
  ASSERT_GT(noise.size(), size_t{2} << 20);  // and below the 2 MB a box may take
  ASSERT_LT(noise.size(), size_t{4} << 20);
  struct Row {
    const char* name;
    std::vector<uint8_t> stream;
    const char* fps;
    std::vector<uint32_t> colours;  // none: any picture will do
  };
  for (const Row& row : {Row{"solid.h264", solidH264(176, 144, yuv, 10), "50", {yuv[0].Rgb(), yuv[1].Rgb()}},
                         Row{"noise.h264", noise, "5", {}}}) {
    SCOPED_TRACE(row.name);
    ASSERT_FALSE(row.stream.empty());
    DevsimProcess devsim(VKT_KIND_H264, {"--h264", dir.file(row.name, row.stream), "--fps", row.fps});
    ASSERT_NE(devsim.port(), 0);
    void* handle = nullptr;
    ASSERT_EQ(VKT_CreateHandle(VKT_KIND_H264, &handle), VKT_OK);
    ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
    display_test::TestWindow window(0, 0, 176, 144);
    ASSERT_EQ(VKT_OpenChannel(handle, 0, window.handle()), VKT_OK);
    std::set<int> seen;
    bool shown = false;
    PumpSampling(15000, [&] {
      const std::vector<uint32_t> pixels = window.ReadPixels();
      shown = std::any_of(pixels.begin(), pixels.end(), [](uint32_t pixel) { return pixel != 0; });
      if (row.colours.empty()) return shown;
      seen.insert(Match(pixels[100 * 176 + 88], row.colours));
      return FilesSeen(seen) == 2;
    });
    VKT_CloseServer(handle);
    EXPECT_TRUE(shown);
    if (row.colours.empty()) continue;
    EXPECT_EQ(seen.count(-2), 0u) << "a picture that is none of the file's";
    EXPECT_EQ(seen.count(0), 1u);
    EXPECT_EQ(seen.count(1), 1u);
  }
}

TEST(DevsimContent, SourcesThatCannotBeServedAreRefused) {
  TempDir dir;
  TempDir empty;
  const std::string notJpeg = dir.file("broken.jpg", {'n', 'o'});
  const std::string notH264 = dir.file("noise.h264", std::vector<uint8_t>(1000, 0x55));
  const std::string jpegOnly = dir.file("picture.h264", solidJpeg(0x808080));
  struct Case {
    std::vector<std::string> arguments;
    std::string named;  // the message names this
  };
  const Case cases[] = {
      {{"--kind", "7100", "--pictures", dir.path + "/missing"}, dir.path + "/missing"},
      {{"--kind", "7100", "--pictures", empty.path}, empty.path},
      {{"--kind", "7100", "--pictures", dir.path}, notJpeg},
      {{"--kind", "5200", "--h264", dir.path + "/missing.h264"}, dir.path + "/missing.h264"},
      {{"--kind", "5200", "--h264", notH264}, notH264},
      {{"--kind", "5200", "--h264", jpegOnly}, jpegOnly},
  };
  for (const Case& c : cases) {
    std::string command = VKT_DEVSIM_PATH;
    for (const std::string& argument : c.arguments) command += " '" + argument + "'";
    const std::string errors = empty.path + "/stderr";
    const int status = std::system((command + " 2>'" + errors + "'").c_str());
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(errors);
    SCOPED_TRACE(command + "\n" + text);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_EQ(text.rfind("vkt-devsim: ", 0), 0u);
    EXPECT_NE(text.find(c.named), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  }
}

// Each row is a picture file: one whose JFIF segment comes first is served
// as it is, any other gets a JFIF segment after its SOI.
TEST(DevsimContent, PictureFilesKeepOrGainTheirJfifSegment) {
  const std::vector<uint8_t> jfif = solidJpeg(0x808080);
  std::vector<uint8_t> plain = jfif;
  plain.erase(plain.begin() + 2, plain.begin() + 2 + 18);  // libjpeg's 18-byte JFIF segment
  const struct {
    std::vector<uint8_t> file;
    size_t added;
  } rows[] = {{jfif, 0}, {plain, 18}};
  for (const auto& row : rows) {
    TempDir dir;
    dir.file("a.jpg", row.file);
    vkt::devsim::DeviceContent content;
    std::vector<std::string> skipped;
    std::string error;
    ASSERT_TRUE(vkt::devsim::loadPictureFiles(dir.path, content, skipped, error)) << error;
    ASSERT_EQ(content.pictures.size(), 1u);
    EXPECT_EQ(content.pictures[0].size(), row.file.size() + row.added);
    EXPECT_TRUE(std::equal(row.file.begin() + 2, row.file.end(), content.pictures[0].begin() + 2 + row.added));
  }
}

}  // namespace
