// Which pictures of a recording an export writes, in what form and with
// what times, worked out from the reader's view of the file alone (no
// codec library), so that the tool and the fuzz target share it.
//  - Pictures start at the first key picture. After a damaged range they
//    go on at once when the first picture's frame_num follows the last
//    reference picture kept (no picture it may depend on was lost: the
//    damage held other boxes or non-reference pictures), else at the next
//    key picture: what lies between cannot decode.
//  - Every header's parameter sets reach the output: a key picture whose
//    segment brings sets other than those in force carries them in band,
//    so a picture size change decodes.
//  - Presentation order comes from the pictures' order counts
//    (h264_picture_order.h); the box timestamps of a run, sorted, are
//    handed out in that order (the times of the reader's timeline, which
//    mends timestamps that go back or jump), and decoding times are the boxes' own moved
//    back by the deepest reordering, so presentation times strictly
//    increase from the first timestamp and never precede decoding.
//  - A run cut short (by damage or the recording's end) inside a group of
//    B-frames ends before the first picture that would be shown after a
//    missing one, so what is exported plays in order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording_reader.h"

struct ExportedPicture {
  size_t box = 0;  // index into RecordingContents::boxes
  int64_t presentationTime = 0;  // milliseconds from the first picture shown
  int64_t decodingTime = 0;      // negative for pictures decoded before it
  int64_t duration = 0;
  bool key = false;
  bool parameterSetsInBand = false;  // its segment's parameter sets go in front of it
};

struct ExportPlan {
  // The sets the output starts with: the first picture's header's, or the
  // ones inside that picture when its header has none.
  NalUnits parameterSets;
  std::vector<ExportedPicture> pictures;  // in decoding order
  uint32_t notShownInOrder = 0;  // pictures left out at the end of a cut run
  uint32_t continuedAfterDamage = 0;  // damaged ranges passed without waiting for a key picture
};

ExportPlan PlanExport(RecordingBytes& bytes, const RecordingContents& contents);
ExportPlan PlanExport(const uint8_t* data, size_t length, const RecordingContents& contents);
