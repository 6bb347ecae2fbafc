// How the stream and session fuzz targets cut their input into pieces: a
// run of [4-byte little-endian length][bytes] records, each length
// clamped to what remains, so every input cuts one way and any mutation
// of a length only moves the cuts. The seed writers use the same layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz_input {

struct Piece {
  const uint8_t* bytes;
  uint32_t length;
};

inline std::vector<Piece> SplitPieces(const uint8_t* data, size_t size) {
  std::vector<Piece> pieces;
  size_t at = 0;
  while (size - at >= 4) {
    size_t length = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (size_t{data[at + 3]} << 24);
    at += 4;
    if (length > size - at) length = size - at;
    pieces.push_back({data + at, static_cast<uint32_t>(length)});
    at += length;
  }
  return pieces;
}

inline void AppendPiece(std::vector<uint8_t>& out, const uint8_t* bytes, size_t length) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
  out.insert(out.end(), bytes, bytes + length);
}

}  // namespace fuzz_input
