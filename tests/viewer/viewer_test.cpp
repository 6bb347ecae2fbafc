// End to end through the application's door: vkt-viewer drives the SDK's
// exported functions against the simulator of each kind, and pictures must
// reach its windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/common/devsim_process.h"

namespace {

struct ViewerRun {
  int status = -1;
  std::string output;
};

ViewerRun RunViewer(const std::string& arguments) {
  ViewerRun run;
  const std::string command = std::string(VKT_VIEWER_PATH) + " " + arguments + " 2>&1";
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

}  // namespace

TEST(Viewer, ShowsLiveVideoOfBothKinds) {
  struct Case {
    int kind;
    const char* options;
  };
  for (const Case& c : {Case{7100, "--channels 2"}, Case{5200, "--channels 1"}}) {
    vkt::test::DevsimProcess devsim(c.kind);
    ASSERT_NE(devsim.port(), 0);
    const ViewerRun run = RunViewer("--kind " + std::to_string(c.kind) + " --port " +
                                    std::to_string(devsim.port()) + " --seconds 2 " + c.options);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_GT(PicturesShown(run.output), 5) << run.output;
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

TEST(Viewer, AnOptionWithoutItsValueIsAUsageError) {
  const ViewerRun run = RunViewer("--kind 7100 --port");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("missing value after --port"), std::string::npos) << run.output;
}
