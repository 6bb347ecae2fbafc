// Prefix hash: four lanes, each folding one 64-bit word per block with a
// multiply, a rotation and a second multiply; the digest merges the lanes
// with the byte count and mixes the result so that every input bit reaches
// every output bit. The tail is zero-padded to a block; the byte count in
// the digest tells a padded tail from real zero bytes.
#include "prefix_hash.h"

#include <cstring>

namespace {

// Odd 64-bit constants with well-spread bits: the fractional digits of the
// golden ratio and of sqrt(3) for the lanes, and a well-known 64-bit
// finaliser's pair for the digest.
constexpr uint64_t kMultiplyA = 0x9e3779b97f4a7c15ull;
constexpr uint64_t kMultiplyB = 0xbb67ae8584caa73bull;
constexpr uint64_t kMixA = 0xff51afd7ed558ccdull;
constexpr uint64_t kMixB = 0xc4ceb9fe1a85ec53ull;

inline uint64_t rotate_left(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

inline uint64_t load_word(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

inline uint64_t fold(uint64_t lane, uint64_t word) { return rotate_left(lane + word * kMultiplyB, 31) * kMultiplyA; }

inline uint64_t mix(uint64_t value) {
  value = (value ^ (value >> 33)) * kMixA;
  value = (value ^ (value >> 33)) * kMixB;
  return value ^ (value >> 33);
}

}  // namespace

PrefixHash prefix_hash_start() {
  return PrefixHash{{kMultiplyA, kMultiplyB, kMixA, kMixB}, 0};
}

void prefix_hash_blocks(PrefixHash& hash, const uint8_t* bytes, size_t count) {
  uint64_t a = hash.lanes[0], b = hash.lanes[1], c = hash.lanes[2], d = hash.lanes[3];
  for (size_t i = 0; i + kPrefixHashBlock <= count; i += kPrefixHashBlock) {
    a = fold(a, load_word(bytes + i));
    b = fold(b, load_word(bytes + i + 8));
    c = fold(c, load_word(bytes + i + 16));
    d = fold(d, load_word(bytes + i + 24));
  }
  hash.lanes[0] = a;
  hash.lanes[1] = b;
  hash.lanes[2] = c;
  hash.lanes[3] = d;
  hash.absorbed += static_cast<int64_t>(count);
}

uint64_t prefix_hash_digest(const PrefixHash& hash, const uint8_t* tail, size_t tail_count) {
  PrefixHash last = hash;
  uint8_t block[kPrefixHashBlock] = {};
  if (tail_count > 0) std::memcpy(block, tail, tail_count);
  prefix_hash_blocks(last, block, kPrefixHashBlock);
  const uint64_t count = static_cast<uint64_t>(hash.absorbed) + tail_count;
  uint64_t digest = count * kMixA;
  for (int i = 0; i < 4; ++i) digest = mix(digest ^ rotate_left(last.lanes[i], 16 * i + 1));
  return digest;
}

uint64_t hash_bytes(const uint8_t* bytes, size_t count) {
  PrefixHash hash = prefix_hash_start();
  const size_t whole = count - count % kPrefixHashBlock;
  prefix_hash_blocks(hash, bytes, whole);
  return prefix_hash_digest(hash, bytes + whole, count - whole);
}
