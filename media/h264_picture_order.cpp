// Picture order counts of H.264 pictures (h264_picture_order.h): an
// escaped-byte remover, an exponential-Golomb bit reader that fails
// instead of reading past its bytes, and order types 0 and 2.
#include "h264_picture_order.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
// A slice header reaches its order count within this many bytes: the
// fields before it are at most a few 32-bit codes.
constexpr size_t kSliceHeaderBytes = 64;

// The unit's payload (after its one-byte header) with the emulation
// prevention bytes (00 00 03) taken out, at most `limit` bytes of it.
std::vector<uint8_t> Unescape(const uint8_t* unit, size_t length, size_t limit) {
  std::vector<uint8_t> out;
  out.reserve(std::min(length, limit));
  int zeros = 0;
  for (size_t i = 1; i < length && out.size() < limit; ++i) {
    if (zeros >= 2 && unit[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = unit[i] == 0 ? zeros + 1 : 0;
    out.push_back(unit[i]);
  }
  return out;
}

class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  uint32_t Bits(uint32_t count) {
    uint32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) value = value << 1 | Bit();
    return value;
  }
  bool Flag() { return Bit() != 0; }
  // ue(v); a code longer than 32 bits fails the read.
  uint32_t Unsigned() {
    uint32_t zeros = 0;
    while (!failed_ && Bit() == 0) {
      if (++zeros > 31) failed_ = true;
    }
    if (failed_) return 0;
    return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Bits(zeros));
  }
  int32_t Signed() {
    const uint32_t code = Unsigned();
    return code & 1 ? static_cast<int32_t>((code + 1) / 2) : -static_cast<int32_t>(code / 2);
  }
  bool failed() const { return failed_; }

 private:
  uint32_t Bit() {
    if (position_ >= bytes_.size() * 8) {
      failed_ = true;
      return 0;
    }
    const uint32_t bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
    ++position_;
    return bit;
  }
  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
  bool failed_ = false;
};

// Profiles whose sequence parameter sets carry chroma format, bit depths
// and scaling matrices.
bool HasChromaFields(uint32_t profile) {
  static constexpr uint32_t kProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
  return std::find(std::begin(kProfiles), std::end(kProfiles), profile) != std::end(kProfiles);
}

void SkipScalingList(BitReader& bits, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size && !bits.failed(); ++j) {
    // Modulo 256 in 64 bits: a delta code near 2^31 must not overflow.
    if (next != 0) next = static_cast<int>((last + int64_t{bits.Signed()}) & 0xFF);
    last = next == 0 ? last : next;
  }
}

}  // namespace

void PictureOrderCounter::TakeParameterSet(const uint8_t* unit, size_t length) {
  if (length < 2) return;
  if ((unit[0] & 0x1F) == kNalSps) TakeSequence(unit, length);
  if ((unit[0] & 0x1F) == kNalPps) TakePictureSet(unit, length);
}

void PictureOrderCounter::TakeSequence(const uint8_t* unit, size_t length) {
  const std::vector<uint8_t> rbsp = Unescape(unit, length, length);
  BitReader bits(rbsp);
  const uint32_t profile = bits.Bits(8);
  bits.Bits(16);  // constraint flags, level
  const uint32_t id = bits.Unsigned();
  Sequence sequence;
  if (HasChromaFields(profile)) {
    const uint32_t chromaFormat = bits.Unsigned();
    if (chromaFormat == 3) sequence.separateColourPlane = bits.Flag();
    bits.Unsigned();  // bit depths
    bits.Unsigned();
    bits.Flag();
    if (bits.Flag()) {  // scaling matrix present
      const int lists = chromaFormat == 3 ? 12 : 8;
      for (int i = 0; i < lists; ++i)
        if (bits.Flag()) SkipScalingList(bits, i < 6 ? 16 : 64);
    }
  }
  sequence.log2MaxFrameNum = bits.Unsigned() + 4;
  sequence.orderType = bits.Unsigned();
  if (sequence.orderType == 0) sequence.log2MaxOrderLsb = bits.Unsigned() + 4;
  if (sequence.orderType == 1) {
    bits.Flag();
    bits.Signed();
    bits.Signed();
    const uint32_t cycle = bits.Unsigned();
    for (uint32_t i = 0; i < cycle && i < 256 && !bits.failed(); ++i) bits.Signed();
  }
  bits.Unsigned();  // reference frames
  bits.Flag();      // gaps allowed
  bits.Unsigned();  // width and height in macroblocks
  bits.Unsigned();
  sequence.frameMbsOnly = bits.Flag();
  // Both widths lie in 4..16; a code near 2^32 wraps the added 4 below 4.
  sequence.valid = !bits.failed() && id < 32 && sequence.log2MaxFrameNum >= 4 && sequence.log2MaxFrameNum <= 16 &&
                   sequence.orderType <= 2 && sequence.log2MaxOrderLsb >= 4 && sequence.log2MaxOrderLsb <= 16;
  if (sequence.valid) sequences_[id] = sequence;
}

void PictureOrderCounter::TakePictureSet(const uint8_t* unit, size_t length) {
  const std::vector<uint8_t> rbsp = Unescape(unit, length, kSliceHeaderBytes);
  BitReader bits(rbsp);
  const uint32_t id = bits.Unsigned();
  const uint32_t sequenceId = bits.Unsigned();
  if (!bits.failed() && id < 256 && sequenceId < 32) pictureSets_[id] = {true, sequenceId};
}

PictureOrder PictureOrderCounter::TakeSlice(const uint8_t* unit, size_t length) {
  PictureOrder order;
  if (length < 2) return order;
  const uint8_t type = unit[0] & 0x1F;
  if (type != 1 && type != 5) return order;
  order.idr = type == 5;
  const bool reference = (unit[0] & 0x60) != 0;
  const std::vector<uint8_t> rbsp = Unescape(unit, length, kSliceHeaderBytes);
  BitReader bits(rbsp);
  bits.Unsigned();  // first_mb_in_slice
  bits.Unsigned();  // slice_type
  const uint32_t pictureSetId = bits.Unsigned();
  if (bits.failed() || pictureSetId >= 256 || !pictureSets_[pictureSetId].valid) return order;
  const Sequence& sequence = sequences_[pictureSets_[pictureSetId].sequenceId];
  if (!sequence.valid) return order;
  if (sequence.separateColourPlane) bits.Bits(2);
  const uint32_t frameNum = bits.Bits(sequence.log2MaxFrameNum);
  order.frameNumKnown = !bits.failed();
  order.reference = reference;
  order.frameNum = frameNum;
  order.log2MaxFrameNum = sequence.log2MaxFrameNum;
  if (sequence.orderType == 1) return order;
  if (!sequence.frameMbsOnly && bits.Flag()) bits.Flag();  // field_pic_flag, bottom_field_flag
  if (order.idr) bits.Unsigned();                          // idr_pic_id
  if (sequence.orderType == 0) {
    const uint32_t lsb = bits.Bits(sequence.log2MaxOrderLsb);
    if (bits.failed()) return order;
    if (order.idr) previousMsb_ = 0, previousLsb_ = 0;
    const int64_t maxLsb = int64_t{1} << sequence.log2MaxOrderLsb;
    const int64_t step = int64_t{lsb} - int64_t{previousLsb_};
    int64_t msb = previousMsb_;
    if (step < 0 && -step >= maxLsb / 2) msb += maxLsb;
    if (step > 0 && step > maxLsb / 2) msb -= maxLsb;
    order.count = msb + lsb;
    if (reference) previousMsb_ = msb, previousLsb_ = lsb;
  } else {
    if (bits.failed()) return order;
    if (order.idr) frameNumOffset_ = 0;
    else if (previousFrameNum_ > frameNum) frameNumOffset_ += int64_t{1} << sequence.log2MaxFrameNum;
    previousFrameNum_ = frameNum;
    order.count = order.idr ? 0 : 2 * (frameNumOffset_ + frameNum) - (reference ? 0 : 1);
  }
  order.known = true;
  return order;
}
