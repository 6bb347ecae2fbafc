// A machine without ddraw.dll. Its own executable: the module handle is
// process-wide, so no renderer may have loaded it before.
#include <gtest/gtest.h>

#include <cstdlib>

#include "display_test_support.h"
#include "video_renderer.h"

extern "C" WINAPI_EXPORT void PlatformSetModuleMissing(const char* name, BOOL missing);

using namespace display_test;

namespace {

const std::string kMissingMessage = "Error|Load library ddraw.dll Failed.Please install DirectX 9.0.";

TEST(DirectDrawMissingTest, EveryInitializeShowsTheMessage) {
  MessageBoxes messages;
  PlatformSetModuleMissing("ddraw.dll", TRUE);
  TestWindow window(0, 0, 64, 48);
  Picture picture = QuadrantPicture(64, 48);
  {
    VideoRenderer renderer;
    EXPECT_EQ(renderer.Initialize(), 0);
    EXPECT_EQ(renderer.Initialize(), 0);
    EXPECT_EQ(messages.Take(), (std::vector<std::string>{kMissingMessage, kMissingMessage}));
    EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 0);
    EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), kDrawNoSurface);
    EXPECT_TRUE(messages.Take().empty());
  }
  // Once the module can be found, the next renderer loads it.
  PlatformSetModuleMissing("ddraw.dll", FALSE);
  VideoRenderer renderer;
  EXPECT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 1);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  EXPECT_TRUE(messages.Take().empty());
}

}  // namespace
