// Fuzz target of the recording reader and the export plan: arbitrary bytes
// as a recording file. Besides the sanitizers' checks, what the reader
// reports must lie inside the input (every box, every damaged range, the
// units of every video box) with no box inside a damaged range, and the
// plan must name video boxes only, in decoding order, with decoding times
// and presentation times each strictly increasing and no picture shown
// before it is decoded.
#include <algorithm>
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
  const ExportPlan plan = PlanExport(data, contents);
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
