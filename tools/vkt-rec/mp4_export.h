// Remuxes a recording's H.264 pictures into an MP4 file with libavformat,
// without re-encoding: from the first key picture to the last whole
// picture, with the boxes' timestamps (milliseconds) as presentation and
// decoding times.
#pragma once
#include <string>

#include "recording_file.h"

namespace vkt::rec {

// Number of pictures written, or -1 with a reason.
long ExportMp4(const RecordingFile& file, const std::string& path, std::string& reason);

}  // namespace vkt::rec
