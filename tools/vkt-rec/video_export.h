// Remuxes a recording's H.264 pictures with libavformat, without
// re-encoding, into the container its output name asks for (.mp4, .mkv,
// .mov), following the export plan (recording_export_plan.h): pictures
// from each key picture after damage, every header's parameter sets, and
// presentation times in the stream's own order.
#pragma once
#include <cstdint>
#include <string>

#include "recording_file.h"

namespace vkt::rec {

struct ExportOutcome {
  long pictures = -1;  // written; -1 on failure
  bool outputAtFault = false;  // the reason concerns the output file, not the recording
  bool outputCreated = false;  // the output was opened for writing (a failed export removes it)
  std::string reason;
  uint32_t notShownInOrder = 0;  // pictures left out at the end of a cut B-frame group
  uint32_t continuedAfterDamage = 0;  // damaged ranges passed without waiting for a key picture
};

ExportOutcome ExportVideo(const RecordingFile& file, const std::string& path);

}  // namespace vkt::rec
