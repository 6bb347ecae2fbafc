// End to end through the application's door: vkt-viewer drives the SDK's
// exported functions against the simulator of each kind, and pictures must
// reach its windows.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel_picture.h"
#include "tests/common/devsim_process.h"

namespace {

struct ViewerRun {
  int status = -1;
  std::string output;
};

ViewerRun RunViewer(const std::string& arguments) {
  ViewerRun run;
  // No display: these runs are about the SDK calls and the printed figures.
  const std::string command = "env -u DISPLAY " + std::string(VKT_VIEWER_PATH) + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char chunk[256];
  while (fgets(chunk, sizeof chunk, pipe)) run.output += chunk;
  run.status = pclose(pipe);
  return run;
}

// The number after "pictures shown".
long PicturesShown(const std::string& output) {
  const size_t at = output.find("pictures shown");
  return at == std::string::npos ? -1 : std::strtol(output.c_str() + at + 14, nullptr, 10);
}

// The longest of the summary's "longest gap N ms"; -1 without one.
long LongestGap(const std::string& output) {
  long longest = -1;
  for (size_t at = output.find("longest gap "); at != std::string::npos; at = output.find("longest gap ", at + 1))
    longest = std::max(longest, std::strtol(output.c_str() + at + 12, nullptr, 10));
  return longest;
}

}  // namespace

TEST(Viewer, ShowsLiveVideoOfBothKinds) {
  struct Case {
    int kind;
    const char* options;
  };
  for (const Case& c : {Case{7100, "--channels 2"}, Case{5200, "--channels 1"}, Case{7100, "--channels 2 --headless"},
                        Case{5200, "--headless"}}) {
    vkt::test::DevsimProcess devsim(c.kind);
    ASSERT_NE(devsim.port(), 0);
    const ViewerRun run = RunViewer("--kind " + std::to_string(c.kind) + " --port " +
                                    std::to_string(devsim.port()) + " --seconds 2 --stats " + c.options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_GT(PicturesShown(run.output), 5) << run.output;
    // No gap can outlast the 2 s run.
    const long gap = LongestGap(run.output);
    EXPECT_TRUE(gap >= 0 && gap <= 2500) << run.output;
  }
}

TEST(Viewer, ReportsARefusedLogin) {
  vkt::test::DevsimProcess devsim(7100);
  ASSERT_NE(devsim.port(), 0);
  const ViewerRun run =
      RunViewer("--kind 7100 --port " + std::to_string(devsim.port()) + " --password wrong --seconds 1");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("0x10000005 login denied"), std::string::npos) << run.output;
}

TEST(Viewer, ReportsALostDeviceAndExitsAtOnce) {
  for (int kind : {7100, 5200}) {
    SCOPED_TRACE(kind);
    vkt::test::DevsimProcess devsim(kind);
    ASSERT_NE(devsim.port(), 0);
    // The debug line of the SDK goes to standard error with this set.
    const std::string command = "VKT_DEBUG_OUTPUT=1 " + std::string(VKT_VIEWER_PATH) + " --kind " +
                                std::to_string(kind) + " --port " + std::to_string(devsim.port()) +
                                " --seconds 30 --exit-on-loss 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    // Streaming once the channel is open.
    while (output.find("open channel 0") == std::string::npos && fgets(chunk, sizeof chunk, pipe)) output += chunk;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    devsim.kill();
    const auto killed = std::chrono::steady_clock::now();
    while (fgets(chunk, sizeof chunk, pipe)) output += chunk;
    const int status = pclose(pipe);
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(2)) << output;
    EXPECT_NE(status, 0) << output;
    EXPECT_NE(output.find("device lost"), std::string::npos) << output;
    EXPECT_NE(output.find("port " + std::to_string(devsim.port()) + " lost"), std::string::npos) << output;
  }
}

// Without a display the viewer is a load tool: its figures on standard
// output, and a lost device ends it at once, non-zero, with every channel
// and the server closed all the same.
TEST(Viewer, StatsWithoutADisplayAndExitOnLoss) {
  vkt::test::DevsimProcess devsim(7100);
  ASSERT_NE(devsim.port(), 0);
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    devsim.kill();
  });
  const auto start = std::chrono::steady_clock::now();
  const ViewerRun run = RunViewer("--kind 7100 --port " + std::to_string(devsim.port()) +
                                  " --channels 4 --seconds 60 --stats --exit-on-loss");
  killer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "ended by the loss, not the time";
  EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.output;
  EXPECT_NE(run.output.find("device lost"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("stats  "), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(" ch3 "), std::string::npos) << "a figure per channel\n" << run.output;
  const size_t summary = run.output.find("summary  ch0 ");
  ASSERT_NE(summary, std::string::npos) << run.output;
  EXPECT_NE(run.output.find("longest gap ", summary), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("close channel 3"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("close server       0x00000000 ok"), std::string::npos) << run.output;
}

TEST(Viewer, AnOptionWithoutItsValueIsAUsageError) {
  const ViewerRun run = RunViewer("--kind 7100 --port");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("missing value after --port"), std::string::npos) << run.output;
}

TEST(Viewer, ReconnectsToASimulatorStartedAgainOnTheSamePort) {
  for (int kind : {7100, 5200}) {
    SCOPED_TRACE(kind);
    auto devsim = std::make_unique<vkt::test::DevsimProcess>(kind);
    const uint16_t port = devsim->port();
    ASSERT_NE(port, 0);
    const std::string command = "env -u DISPLAY " + std::string(VKT_VIEWER_PATH) + " --kind " +
                                std::to_string(kind) + " --port " + std::to_string(port) +
                                " --seconds 4 --exit-on-loss --reconnect 500 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    auto readUntil = [&](const std::string& text, size_t from) {
      while (output.find(text, from) == std::string::npos && fgets(chunk, sizeof chunk, pipe)) output += chunk;
      return output.find(text, from);
    };
    readUntil("first picture", 0);
    devsim->kill();
    const size_t lost = readUntil("reconnecting", 0);
    devsim = std::make_unique<vkt::test::DevsimProcess>(kind, std::vector<std::string>{},
                                                       "127.0.0.1:" + std::to_string(port));
    const auto restarted = std::chrono::steady_clock::now();
    // Pictures again within the longest wait and one attempt's work.
    const size_t back = readUntil("first picture", readUntil("reconnected", lost));
    EXPECT_LT(std::chrono::steady_clock::now() - restarted, std::chrono::milliseconds(1500)) << output;
    EXPECT_NE(back, std::string::npos) << output;
    while (fgets(chunk, sizeof chunk, pipe)) output += chunk;
    // Back in time: --exit-on-loss does not end a run that reconnects.
    EXPECT_EQ(pclose(pipe), 0) << output;
  }
}

// A device that pushes large pictures of every channel unasked, as fast as
// the link takes them: the application's thread only queues them, so the
// one-second line keeps coming, --seconds ends the viewer on time, and the
// line shows the pictures dropped before decoding.
TEST(Viewer, AFloodOfUnrequestedLargePicturesLeavesTheViewerOnTime) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vkt-flood-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t> rgb(size_t{4096} * 2304 * 3, 0x70);
  const std::vector<uint8_t> picture = vkt::devsim::encodeJpeg(rgb.data(), 4096, 2304);
  std::ofstream(dir / "flat.jpg", std::ios::binary).write(reinterpret_cast<const char*>(picture.data()),
                                                          std::streamsize(picture.size()));
  vkt::test::DevsimProcess devsim(7100, {"--channels", "16", "--pictures", dir.string(), "--unrequested"});
  ASSERT_NE(devsim.port(), 0);
  const auto start = std::chrono::steady_clock::now();
  const ViewerRun run =
      RunViewer("--kind 7100 --port " + std::to_string(devsim.port()) + " --channels 16 --stats --seconds 4");
  // Within a second of --seconds; a sanitizer build decodes several times
  // slower, and closing waits for the pictures being decoded.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const auto slack = std::chrono::seconds(4);
#else
  const auto slack = std::chrono::seconds(1);
#endif
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4) + slack) << run.output;
  std::filesystem::remove_all(dir);
  EXPECT_EQ(run.status, 0) << run.output;
  std::vector<double> lines;
  for (size_t at = run.output.find("stats  "); at != std::string::npos; at = run.output.find("stats  ", at + 1))
    lines.push_back(std::strtod(run.output.c_str() + at + 7, nullptr));
  ASSERT_GE(lines.size(), 3u) << run.output;
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_NEAR(lines[i] - (i ? lines[i - 1] : 0.0), 1.0, 0.2) << "line " << i << "\n" << run.output;
  const size_t dropped = run.output.find("dropped ch0 ");
  ASSERT_NE(dropped, std::string::npos) << run.output;
  EXPECT_GT(std::strtol(run.output.c_str() + dropped + 12, nullptr, 10), 0) << run.output;
}

// A device that never gets ready (kind 5200: no ready notice; kind 7100: no
// login answer): with --timeout 500 the viewer fails within 5 s, not after
// the default 10 (a loaded machine or a sanitizer build is slow to start it).
TEST(Viewer, TimeoutEndsAWaitForADeviceThatNeverGetsReady) {
  for (const auto& [kind, result] :
       {std::pair{5200, "0x10000003 connect timeout"}, std::pair{7100, "0x10000007 login timeout"}}) {
    vkt::test::DevsimProcess devsim(kind, {"--no-ready"});
    const auto start = std::chrono::steady_clock::now();
    const ViewerRun run = RunViewer("--kind " + std::to_string(kind) + " --port " + std::to_string(devsim.port()) +
                                    " --timeout 500");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000)) << run.output;
    EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.output;
    EXPECT_NE(run.output.find(result), std::string::npos) << run.output;
  }
}

// --capture writes each channel's last picture through the SDK's snapshot:
// kind 7100's as the simulator served it, kind 5200's as a BMP; the
// one-second lines end with each channel's latency.
TEST(Viewer, CapturesEachChannelsLastPictureAndTellsTheLatency) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vkt-capture-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "served");
  std::vector<std::string> served;
  for (uint8_t shade : {0x30, 0xC0}) {
    const std::vector<uint8_t> rgb(size_t{64} * 48 * 3, shade);
    const std::vector<uint8_t> picture = vkt::devsim::encodeJpeg(rgb.data(), 64, 48);
    served.emplace_back(picture.begin(), picture.end());
    std::ofstream(dir / "served" / (std::to_string(shade) + ".jpg"), std::ios::binary)
        .write(served.back().data(), std::streamsize(served.back().size()));
  }
  const auto slurp = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  struct Case {
    int kind;
    std::vector<std::string> devsim;
    const char* options;
  };
  for (const Case& c : {Case{7100, {"--pictures", (dir / "served").string()}, "--channels 2"},
                        Case{7100, {"--pictures", (dir / "served").string()}, "--channels 2 --headless"},
                        Case{5200, {}, ""}}) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.options);
    vkt::test::DevsimProcess devsim(c.kind, c.devsim);
    const ViewerRun run = RunViewer("--kind " + std::to_string(c.kind) + " --port " + std::to_string(devsim.port()) +
                                    " --seconds 2 --stats --capture " + dir.string() + " " + c.options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("ms\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("  latency ch0 "), std::string::npos) << run.output;
    if (c.kind == 5200) {
      EXPECT_EQ(slurp(dir / "ch0.bmp").substr(0, 2), "BM");
      continue;
    }
    for (const char* name : {"ch0.jpg", "ch1.jpg"}) {
      const std::string captured = slurp(dir / name);
      std::filesystem::remove(dir / name);
      // The simulator writes the channel into byte 10 of what it serves.
      ASSERT_GT(captured.size(), 11u) << name;
      EXPECT_TRUE(std::any_of(served.begin(), served.end(), [&](std::string file) {
        file[10] = captured[10];
        return file == captured;
      })) << name;
    }
  }
  std::filesystem::remove_all(dir);
}

// --record: kind 7100 records channel 0's pictures as received (the file names the channel at byte 8),
// kind 5200 its stream from a header on, and with --record-split 1 a second part after a second.
TEST(Viewer, RecordsChannelZeroOfEitherKind) {
  for (const int kind : {7100, 5200}) {
    SCOPED_TRACE(kind);
    const std::string path = testing::TempDir() + "vkt-viewer-record-" + std::to_string(getpid());
    vkt::test::DevsimProcess devsim(kind);
    const ViewerRun run = RunViewer("--kind " + std::to_string(kind) + " --port " + std::to_string(devsim.port()) +
                                    " --seconds 2 --headless --record " + path +
                                    (kind == 5200 ? " --record-split 1" : ""));
    EXPECT_EQ(run.status, 0) << run.output;
    const bool split = run.output.find("recording into     " + path + "-1 from") != std::string::npos;
    EXPECT_EQ(split, kind == 5200) << run.output;
    std::remove((path + "-1").c_str());
    std::ifstream in(path, std::ios::binary);
    const std::string file(std::istreambuf_iterator<char>(in), {});
    std::remove(path.c_str());
    ASSERT_GT(file.size(), 64u) << run.output;
    if (kind == 7100) EXPECT_EQ(file.substr(0, 12), std::string("VKTJPEG1\0\0\0\0", 12));
    else EXPECT_EQ(file.substr(0, 4), "rvdx");
  }
}
