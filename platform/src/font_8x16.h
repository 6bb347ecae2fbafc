// The fixed bitmap font that TextOutA draws with.
#pragma once
#include <cstdint>

namespace platform {

constexpr int kFontCellWidth = 8;
constexpr int kFontCellHeight = 16;
constexpr int kFontFirstChar = 0x20;
constexpr int kFontGlyphCount = 0x7F - kFontFirstChar;

extern const uint8_t kFont8x16[kFontGlyphCount][kFontCellHeight];

}  // namespace platform
