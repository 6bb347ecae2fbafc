// The tools and scripts as a user meets them: every tool's --help,
// --version, unknown option and missing file; vkt-jpeg decoding a cut
// stream between standard input and output, and the simulator's picture it
// decodes; the demo's camera-like tiles as the viewer saves them; the
// simulator's default port; and the scripts' simulators ended however the
// script exits.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channel_picture.h"
#include "tests/common/devsim_process.h"

namespace {

namespace fs = std::filesystem;

struct ShellRun {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vkt_tools_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // `command` through the shell, its standard streams kept apart.
  ShellRun Shell(const std::string& command) {
    ShellRun run;
    const int status = std::system((command + " >" + dir_ + "/out 2>" + dir_ + "/err").c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadText(dir_ + "/out");
    run.err = ReadText(dir_ + "/err");
    return run;
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }

  std::string dir_;
};

TEST_F(ToolsTest, EveryToolFollowsTheCommandLineConventions) {
  const std::string missing = dir_ + "/missing.jpg";
  struct Row {
    const char* tool;
    std::string arguments;
    int status;
    std::string text;  // 0: stdout starts with it; else stderr, which starts with "TOOL: ", holds it
  };
  const char* tools[] = {"vkt-jpeg",       "vkt-devsim",         "vkt-viewer",       "vkt-login", "vkt-rec",
                         "vkt-jpeg-bench", "vkt-pipeline-bench", "vkt-handle-cycles"};
  std::vector<Row> rows;
  for (const char* tool : tools) {
    rows.push_back({tool, "--help", 0, "usage: " + std::string(tool)});
    rows.push_back({tool, "--version", 0, std::string(tool) + " " + VKT_PROJECT_VERSION + "\n"});
    rows.push_back({tool, "--no-such-option x", 2, "usage: " + std::string(tool)});
  }
  rows.push_back({"vkt-jpeg", "decode " + missing + " out.png", 1, missing + ": No such file"});
  rows.push_back({"vkt-jpeg", "info " + missing, 1, missing + ": No such file"});
  rows.push_back({"vkt-jpeg", "bogus " + missing + " out.png", 2, "unknown command bogus"});
  rows.push_back({"vkt-devsim", "--kind 7100 --pictures " + missing, 2, missing + ": No such file"});
  rows.push_back({"vkt-rec", "info " + missing, 1, missing});
  rows.push_back({"vkt-jpeg-bench", missing, 1, missing + ": No such file"});
  rows.push_back({"vkt-jpeg-bench", "--read bogus", 2, "no read is labelled bogus"});
  rows.push_back({"vkt-viewer", "--kind 7100 --bogus", 2, "unknown option --bogus"});
  rows.push_back({"vkt-viewer", "--kind 7100 --port 1 --timeout 99", 2, "bad option --timeout 99"});
  rows.push_back({"vkt-viewer", "--kind 5200 --port 1 --record-split 2", 2, "--record-split needs --record FILE"});
  rows.push_back({"vkt-viewer", "--kind 5200 --port 1 --record x --record-split 0", 2, "bad option --record-split 0"});
  rows.push_back({"vkt-login", "--kind 7100 --bogus", 2, "unknown option --bogus"});
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.tool) + " " + row.arguments);
    const ShellRun run = Shell(std::string(VKT_BIN_DIR) + "/" + row.tool + " " + row.arguments);
    EXPECT_EQ(run.status, row.status) << run.err;
    if (row.status == 0) {
      EXPECT_EQ(run.out.rfind(row.text, 0), 0u) << run.out;
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.err.rfind(std::string(row.tool) + ": ", 0), 0u) << run.err;
      EXPECT_NE(run.err.find(row.text), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "");
    }
  }
}

TEST_F(ToolsTest, ACutStreamFromStandardInputGivesItsDecodedRowsOnStandardOutput) {
  const std::vector<uint8_t> whole = vkt::devsim::encodeChannelPicture(3, 0, vkt::devsim::ChannelScene::kCamera);
  const std::string tool = std::string(VKT_BIN_DIR) + "/vkt-jpeg decode - - <";
  const ShellRun full = Shell(tool + Write("whole.jpg", whole));
  ASSERT_EQ(full.status, 0) << full.err;
  ASSERT_EQ(full.out.rfind("P6\n352 288\n255\n", 0), 0u);
  // The picture itself: a scene shaded in every plane above a black band
  // (from row 256) whose squares (rows 266 to 277) number channel 3.
  auto rowMean = [&](int row, int plane, int from, int to) {
    double sum = 0;
    for (int x = from; x < to; ++x) sum += uint8_t(full.out[15 + (size_t(row) * 352 + x) * 3 + plane]);
    return sum / (to - from);
  };
  for (int plane = 0; plane < 3; ++plane) EXPECT_GT(rowMean(128, plane, 0, 352), 50) << plane;
  EXPECT_LT(rowMean(256, 0, 200, 350), 30);
  EXPECT_GT(rowMean(266, 0, 72, 84), 200);
  EXPECT_LT(rowMean(266, 0, 96, 108), 30);
  const std::vector<uint8_t> half(whole.begin(), whole.begin() + whole.size() / 2);
  const ShellRun cut = Shell(tool + Write("cut.jpg", half));
  EXPECT_EQ(cut.status, 2);
  EXPECT_EQ(cut.err, "vkt-jpeg: -: Premature end of JPEG file\n");
  ASSERT_EQ(cut.out.size(), full.out.size()) << "the whole picture is written";
  // Half the data holds at least the top quarter of the picture.
  EXPECT_EQ(cut.out.substr(0, full.out.size() / 4), full.out.substr(0, full.out.size() / 4));
}

// A saved tile as RGB rows, or nothing.
std::vector<uint8_t> ReadPng(const std::string& path, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = int(image.width);
  height = int(image.height);
  return rgb;
}

TEST_F(ToolsTest, TheDemosCameraTilesAreNotFlatAndDifferFromEachOther) {
  fs::create_directory(dir_ + "/pictures");
  for (unsigned c = 0; c < 4; ++c)
    Write("pictures/" + std::to_string(c) + ".jpg",
          vkt::devsim::encodeChannelPicture(c, 0, vkt::devsim::ChannelScene::kCamera));
  Write("pictures/4-a-png.jpg", {0x89, 'P', 'N', 'G'});  // skipped with a warning, not refused
  const std::vector<std::string> sources[] = {{"--camera"}, {"--pictures", dir_ + "/pictures"}};
  for (const std::vector<std::string>& source : sources) {
    SCOPED_TRACE(source.front());
    std::vector<std::string> arguments = {"--channels", "4"};
    arguments.insert(arguments.end(), source.begin(), source.end());
    vkt::test::DevsimProcess devsim(7100, arguments);
    ASSERT_NE(devsim.port(), 0);
    const std::string snapshots = dir_ + "/snapshots";
    fs::remove_all(snapshots);
    fs::create_directory(snapshots);
    const ShellRun viewer = Shell("env -u DISPLAY " + std::string(VKT_BIN_DIR) + "/vkt-viewer --kind 7100 --port " +
                                  std::to_string(devsim.port()) + " --channels 4 --seconds 2 --snapshot " + snapshots);
    ASSERT_EQ(viewer.status, 0) << viewer.out << viewer.err;
    std::vector<std::vector<uint8_t>> tiles;
    for (int c = 0; c < 4; ++c) {
      int width = 0, height = 0;
      std::vector<uint8_t> rgb = ReadPng(snapshots + "/channel" + std::to_string(c) + ".png", width, height);
      ASSERT_FALSE(rgb.empty()) << c;
      // Above the band that numbers the channel.
      rgb.resize(size_t(width) * (height * 8 / 10) * 3);
      double sum = 0, squares = 0;
      for (uint8_t v : rgb) sum += v, squares += double(v) * v;
      const double mean = sum / rgb.size();
      EXPECT_GT(std::sqrt(squares / rgb.size() - mean * mean), 20.0) << "tile " << c << " is flat";
      tiles.push_back(std::move(rgb));
    }
    for (size_t a = 0; a < tiles.size(); ++a)
      for (size_t b = a + 1; b < tiles.size(); ++b) {
        double difference = 0;
        for (size_t i = 0; i < tiles[a].size(); ++i) difference += std::abs(tiles[a][i] - tiles[b][i]);
        EXPECT_GT(difference / tiles[a].size(), 10.0) << "tiles " << a << " and " << b << " look alike";
      }
  }
}

// Without --listen the simulator takes a free loopback port (ended after a second).
TEST_F(ToolsTest, TheSimulatorListensOnAFreeLoopbackPortByDefault) {
  const ShellRun run = Shell("timeout 1 " + std::string(VKT_DEVSIM_TOOL) + " --kind 5200");
  const std::string line = run.out.substr(0, run.out.find('\n'));
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << run.out << run.err;
  EXPECT_GT(std::atoi(line.c_str() + 23), 1023) << line;
}

TEST_F(ToolsTest, ScriptsEndTheirSimulatorsHoweverTheyExit) {
  const char* exits[] = {"exit 0", "false", "kill -TERM $$", "kill -INT $$"};
  for (const char* how : exits) {
    SCOPED_TRACE(how);
    const std::string script = "set -euo pipefail; source " + std::string(VKT_SOURCE_DIR) +
                               "/scripts/simulators.sh; start_simulator " + VKT_DEVSIM_TOOL + " " + dir_ +
                               "/sim --kind 7100 --listen 127.0.0.1:0; echo $sim_pid >" + dir_ + "/pid; " + how;
    Shell("bash -c '" + script + "'");
    const pid_t pid = std::atoi(ReadText(dir_ + "/pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(kill(pid, 0) != 0 && errno == ESRCH) << "simulator " << pid << " outlived the script";
    if (kill(pid, 0) == 0) kill(pid, SIGKILL);
  }
}

}  // namespace
