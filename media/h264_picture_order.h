// Presentation order of H.264 pictures, taken from the stream itself: the
// picture order count of each picture's first slice, worked out from the
// slice header and the sequence and picture parameter sets it refers to.
// Pictures with B-frames arrive in decoding order; sorting a run of them
// (from one IDR picture to the next) by this count gives the order in which
// they are shown. Only the few header fields the count needs are parsed,
// from untrusted bytes: every read is bounds-checked and a unit that does
// not parse leaves the picture's order unknown, never a wrong one.
#pragma once
#include <cstddef>
#include <cstdint>

struct PictureOrder {
  bool known = false;  // false: missing parameter sets, a header that does not parse, or order type 1
  bool idr = false;    // an IDR picture starts a new run of counts
  int64_t count = 0;
  // frame_num and its width, read whenever the header gets that far (order
  // type 1 too): a picture whose frame_num does not follow the last
  // reference picture's had a reference picture before it that is missing.
  bool frameNumKnown = false;
  bool reference = false;  // nal_ref_idc not 0
  uint32_t frameNum = 0;
  uint32_t log2MaxFrameNum = 0;
};

class PictureOrderCounter {
 public:
  // Takes a sequence or picture parameter set (a NAL unit without start
  // code); a set that does not parse is ignored.
  void TakeParameterSet(const uint8_t* unit, size_t length);
  // The order of the picture whose first slice (NAL type 1 or 5) is `unit`.
  // Pictures must be given in decoding order.
  PictureOrder TakeSlice(const uint8_t* unit, size_t length);

 private:
  struct Sequence {
    bool valid = false;
    bool separateColourPlane = false;
    bool frameMbsOnly = true;
    uint32_t log2MaxFrameNum = 4;
    uint32_t orderType = 0;
    uint32_t log2MaxOrderLsb = 4;
  };
  struct PictureSet {
    bool valid = false;
    uint32_t sequenceId = 0;
  };
  void TakeSequence(const uint8_t* unit, size_t length);
  void TakePictureSet(const uint8_t* unit, size_t length);

  Sequence sequences_[32];
  PictureSet pictureSets_[256];
  // Order type 0: the count's high part and low bits of the last reference picture.
  int64_t previousMsb_ = 0;
  uint32_t previousLsb_ = 0;
  // Order type 2: frame_num wraps counted so far, and the last frame_num.
  int64_t frameNumOffset_ = 0;
  uint32_t previousFrameNum_ = 0;
};
