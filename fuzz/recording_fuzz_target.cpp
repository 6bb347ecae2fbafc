// Fuzz target of the recording reader and the export plan: arbitrary bytes
// as a recording file. Besides the sanitizers' checks, what the reader
// reports must lie inside the input (every box, every damaged range, the
// units of every video box) with no box inside a damaged range; each
// damaged range must end where a box or a header was found, or at the
// file's end (the resynchronisation); the timeline must hold every picture
// within the duration and list jumps at video boxes only; and the
// plan must name video boxes only, in decoding order, with decoding times
// and presentation times each strictly increasing and no picture shown
// before it is decoded.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "recording_export_plan.h"
#include "recording_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RecordingContents contents = ReadRecording(data, size);
  for (const DamagedRange& damage : contents.damages)
    if (damage.offset >= damage.end || damage.end > size) std::abort();
  for (const RecordedBox& box : contents.boxes) {
    if (box.offset + box.size > size || box.size < 24 || box.damagesBefore > contents.damages.size()) std::abort();
    for (const DamagedRange& damage : contents.damages)
      if (box.offset < damage.end && box.offset + box.size > damage.offset) std::abort();
  }
  std::vector<uint64_t> starts;  // of every box, header and damaged range
  for (const RecordedBox& box : contents.boxes) starts.push_back(box.offset);
  for (const RecordedSegment& segment : contents.segments) starts.push_back(segment.offset);
  for (const DamagedRange& damage : contents.damages) starts.push_back(damage.offset);  // a header cut short
  std::sort(starts.begin(), starts.end());
  for (const DamagedRange& damage : contents.damages)
    if (damage.end != size && !std::binary_search(starts.begin(), starts.end(), damage.end)) std::abort();
  int64_t earliest = INT64_MAX, latest = INT64_MIN;
  for (const RecordedBox& box : contents.boxes)
    if (box.video) earliest = std::min(earliest, box.time), latest = std::max(latest, box.time);
  if (contents.pictures && latest - earliest + contents.pictureStep != contents.durationMs) std::abort();
  for (const TimeJump& jump : contents.jumps) {
    const auto box = std::find_if(contents.boxes.begin(), contents.boxes.end(),
                                  [&](const RecordedBox& b) { return b.offset == jump.offset; });
    if (box == contents.boxes.end() || !box->video) std::abort();
  }
  const ExportPlan plan = PlanExport(data, size, contents);
  std::vector<int64_t> shown;
  for (size_t i = 0; i < plan.pictures.size(); ++i) {
    const ExportedPicture& picture = plan.pictures[i];
    const ExportedPicture* previous = i ? &plan.pictures[i - 1] : nullptr;
    if (picture.box >= contents.boxes.size() || !contents.boxes[picture.box].video ||
        (previous && (picture.box <= previous->box || picture.decodingTime <= previous->decodingTime)) ||
        picture.presentationTime < picture.decodingTime || picture.duration <= 0 ||
        (picture.parameterSetsInBand && contents.boxes[picture.box].segment < 0))
      std::abort();
    shown.push_back(picture.presentationTime);
  }
  std::sort(shown.begin(), shown.end());
  if (std::adjacent_find(shown.begin(), shown.end()) != shown.end()) std::abort();
  return 0;
}
