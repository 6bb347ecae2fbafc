// The viewer's logic without a device: the grid arithmetic for 1 to 16
// tiles in client areas of awkward sizes, the window size that fits a
// screen, the keys and the fill toggling, the figures it prints, and the
// names of a split recording's parts.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "grid_layout.h"
#include "picture_stats.h"
#include "record_parts.h"
#include "viewer_keys.h"

using namespace vkt::viewer;

namespace {

bool Inside(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

TEST(GridLayout, ColumnsAndRowsForOneToSixteenTiles) {
  //                        tiles: 1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
  const int columns[] = {1, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4};
  const int rows[] = {1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4};
  for (int tiles = 1; tiles <= 16; ++tiles) {
    EXPECT_EQ(gridColumns(tiles), columns[tiles - 1]) << tiles;
    EXPECT_EQ(gridRows(tiles), rows[tiles - 1]) << tiles;
  }
}

// Every pixel of the client area belongs to at most one tile, every tile is
// inside the area and not empty, tiles in a row share their height, and the
// grid reaches the right and bottom edges; tileAt finds each tile again.
TEST(GridLayout, TilesShareTheClientAreaWithoutOverlap) {
  const struct {
    int width, height;
  } areas[] = {{1280, 800}, {978, 800}, {1001, 577}, {352, 288}, {97, 61}};
  for (const auto& area : areas) {
    for (int tiles = 1; tiles <= 16; ++tiles) {
      SCOPED_TRACE(std::to_string(tiles) + " tiles in " + std::to_string(area.width) + "x" +
                   std::to_string(area.height));
      LONG right = 0, bottom = 0;
      for (int i = 0; i < tiles; ++i) {
        const RECT r = tileRect(i, tiles, area.width, area.height);
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, area.width);
        EXPECT_LE(r.bottom, area.height);
        ASSERT_LT(r.left, r.right);
        ASSERT_LT(r.top, r.bottom);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        const RECT first = tileRect(i - i % gridColumns(tiles), tiles, area.width, area.height);
        EXPECT_EQ(r.top, first.top);
        EXPECT_EQ(r.bottom, first.bottom);
        for (int j = 0; j < i; ++j) {
          const RECT o = tileRect(j, tiles, area.width, area.height);
          EXPECT_TRUE(r.left >= o.right || o.left >= r.right || r.top >= o.bottom || o.top >= r.bottom)
              << "tiles " << j << " and " << i << " overlap";
        }
        for (POINT p : {POINT{r.left, r.top}, POINT{r.right - 1, r.bottom - 1}}) EXPECT_EQ(tileAt(p, tiles, area.width, area.height), i);
      }
      EXPECT_EQ(right, area.width);
      EXPECT_EQ(bottom, area.height);
    }
  }
}

TEST(GridLayout, PointsOutsideEveryTile) {
  // Sixteen tiles in 1280x800: 320x200 cells with a gap of two pixels
  // after each but the last.
  const RECT first = tileRect(0, 16, 1280, 800);
  EXPECT_EQ(first.right, 318);
  EXPECT_EQ(first.bottom, 198);
  const RECT last = tileRect(15, 16, 1280, 800);
  EXPECT_TRUE(Inside(last, POINT{1279, 799}));
  EXPECT_EQ(tileAt(POINT{319, 10}, 16, 1280, 800), -1) << "the gap";
  EXPECT_EQ(tileAt(POINT{-1, 10}, 16, 1280, 800), -1);
  EXPECT_EQ(tileAt(POINT{1280, 10}, 16, 1280, 800), -1);
  EXPECT_EQ(tileAt(POINT{10, 800}, 16, 1280, 800), -1);
  // Three tiles use two columns and leave the fourth cell empty.
  EXPECT_EQ(tileAt(POINT{1000, 700}, 3, 1280, 800), -1);
  EXPECT_EQ(tileRect(3, 3, 1280, 800).right, 0) << "no tile past the last";
}

TEST(GridLayout, WindowSizeFitsTheScreenKeepingProportions) {
  const struct {
    int tiles, screenWidth, screenHeight;
    WindowSize expected;
  } cases[] = {
      {1, 1280, 800, {352, 288}},    // room enough: the pictures' own size
      {4, 1280, 800, {704, 576}},
      {16, 1280, 800, {977, 800}},   // 1408x1152 scaled to the screen's height
      {9, 1280, 800, {977, 800}},    // 1056x864
      {2, 600, 2000, {600, 245}},    // scaled to the width
      {16, 0, 0, {1408, 1152}},      // no screen size known
  };
  for (const auto& c : cases) {
    const WindowSize size = gridWindowSize(c.tiles, 352, 288, c.screenWidth, c.screenHeight);
    EXPECT_EQ(size.width, c.expected.width) << c.tiles << " tiles";
    EXPECT_EQ(size.height, c.expected.height) << c.tiles << " tiles";
  }
}

TEST(ViewerKeys, EachKeyAndItsAction) {
  const struct {
    WPARAM key;
    KeyCommand command;
    int tile;
  } cases[] = {
      {'Q', KeyCommand::Quit, -1},          {VK_ESCAPE, KeyCommand::Quit, -1},
      {'S', KeyCommand::Snapshot, -1},      {'F', KeyCommand::FillPointerTile, -1},
      {'1', KeyCommand::FillTile, 0},       {'9', KeyCommand::FillTile, 8},
      {'0', KeyCommand::None, -1},          {'q', KeyCommand::None, -1},  // virtual keys are capitals
      {'A', KeyCommand::None, -1},          {0, KeyCommand::None, -1},
  };
  for (const auto& c : cases) {
    const KeyAction action = keyAction(c.key);
    EXPECT_EQ(action.command, c.command) << c.key;
    EXPECT_EQ(action.tile, c.tile) << c.key;
  }
}

TEST(ViewerKeys, FillTogglesAndSwitchesBetweenTiles) {
  const struct {
    int filled, requested, tiles, expected;
  } steps[] = {
      {-1, 0, 4, 0},   // grid -> tile 1 fills
      {0, 0, 4, -1},   // again -> grid
      {0, 2, 4, 2},    // another tile takes over
      {-1, 4, 4, -1},  // no such tile: nothing changes
      {2, 8, 4, 2},
      {-1, -1, 4, -1},
  };
  for (const auto& s : steps) EXPECT_EQ(toggleFill(s.filled, s.requested, s.tiles), s.expected);
}

TEST(PictureStats, RatesOverTheTimeThatPassedAndTheLongestGap) {
  PictureStats stats(2, 1000, 0);
  std::vector<TilePictures> tiles = {{40, 1990, 30}, {0, 0, 0}};
  // 2 s passed (a late tick), 40 pictures: 20/s; 0.5 s of CPU in 2 s: 25 %.
  EXPECT_EQ(stats.secondLine(3000, 5000000, tiles), "stats  2.0s  cpu 25.0%  ch0 20.0/s  ch1 0.0/s");
  tiles[0].pictures = 77;
  EXPECT_EQ(stats.secondLine(4000, 5000000, tiles), "stats  3.0s  cpu 0.0%  ch0 37.0/s  ch1 0.0/s");
  // A channel that stopped long ago has that stall as its longest gap; one
  // that never showed anything, the whole run.
  EXPECT_EQ(stats.summaryLine(6000, tiles),
            "summary  ch0 77 pictures, longest gap 4010 ms  ch1 0 pictures, longest gap 5000 ms");
  tiles[0].lastPictureTick = 5990;
  EXPECT_EQ(stats.summaryLine(6000, tiles).substr(0, 42), "summary  ch0 77 pictures, longest gap 30 m");
}

TEST(PictureStats, LatencyInMillisecondsToATenth) {
  EXPECT_EQ(latencyFigures({{1250, 9960}, {0, 0}, {120000, 4000049}}),
            "  latency ch0 1.2/10.0ms ch1 0.0/0.0ms ch2 120.0/4000.0ms");
  EXPECT_EQ(latencyFigures({}), "  latency");
}

TEST(RecordParts, TheNumberGoesBeforeTheExtensionOfTheFileName) {
  const struct {
    const char* first;
    uint32_t part;
    const char* name;
  } cases[] = {
      {"cam.rec", 0, "cam.rec"},       {"cam.rec", 2, "cam-2.rec"},   {"cam", 1, "cam-1"},
      {"a.d/cam", 1, "a.d/cam-1"},     {"a/.rec", 1, "a/.rec-1"},     {".rec", 3, ".rec-3"},
      {"a.b/c.d.rec", 4, "a.b/c.d-4.rec"},
  };
  for (const auto& c : cases) EXPECT_EQ(recordingPartName(c.first, c.part), c.name) << c.first << " " << c.part;
}

}  // namespace
