// Snapshot files as a BMP reader sees them: every header field at its
// place in the 14 + 40 byte headers, rows bottom first, each padded with
// zeros to four bytes whatever the width leaves over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "bmp_file.h"

namespace {

uint32_t Field(const std::vector<uint8_t>& file, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes; i-- > 0;) value = value << 8 | file[at + i];
  return value;
}

TEST(BmpFile, HeaderFieldsAndPaddedRowsBottomFirst) {
  const std::string path = testing::TempDir() + "vkt-bmp-" + std::to_string(getpid()) + ".bmp";
  const struct {
    uint32_t width, height;
    size_t stride;
    uint32_t rowBytes;  // 3 bytes a pixel, rounded up to a multiple of 4
  } cases[] = {{1, 1, 3, 4}, {1, 3, 5, 4}, {2, 2, 6, 8}, {3, 1, 9, 12}, {4, 2, 12, 12}, {5, 2, 16, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    std::vector<uint8_t> bgr(c.stride * c.height);
    for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = uint8_t(i * 7 + 1);
    ASSERT_TRUE(WriteBmpFile(path.c_str(), bgr.data(), c.width, c.height, c.stride));
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
    std::remove(path.c_str());
    const uint32_t image = c.rowBytes * c.height;
    ASSERT_EQ(file.size(), 54 + image);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 2), "BM");
    const struct {
      size_t at;
      int bytes;
      uint32_t value;
    } fields[] = {{2, 4, 54 + image}, {6, 4, 0},  {10, 4, 54}, {14, 4, 40},   {18, 4, c.width}, {22, 4, c.height},
                  {26, 2, 1},         {28, 2, 24}, {30, 4, 0},  {34, 4, image}};
    for (const auto& f : fields) EXPECT_EQ(Field(file, f.at, f.bytes), f.value) << "offset " << f.at;
    for (uint32_t y = 0; y < c.height; ++y) {
      const uint8_t* row = file.data() + 54 + size_t{c.height - 1 - y} * c.rowBytes;
      EXPECT_TRUE(std::equal(row, row + c.width * 3, bgr.begin() + c.stride * y)) << "row " << y;
      EXPECT_EQ(std::vector<uint8_t>(row + c.width * 3, row + c.rowBytes),
                std::vector<uint8_t>(c.rowBytes - c.width * 3))
          << "padding of row " << y;
    }
  }
  // Nothing to write, or a stride shorter than a row: no file.
  const uint8_t pixel[3] = {1, 2, 3};
  for (const auto& [width, height, stride] : {std::tuple{0u, 1u, 3u}, {1u, 0u, 3u}, {1u, 1u, 2u}})
    EXPECT_FALSE(WriteBmpFile(path.c_str(), pixel, width, height, stride));
  EXPECT_FALSE(std::ifstream(path).good());
}

}  // namespace
