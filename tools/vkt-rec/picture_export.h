// vkt-rec for kind-7100 recordings (picture_recording_format.h): info
// tells the channel, the pictures, their span and size and any damage;
// export writes the pictures, as recorded, into a Matroska file of MJPEG
// video, each at its arrival time.
#pragma once
#include <string>

namespace vkt::rec {

// True when the file starts like a kind-7100 recording.
bool IsPictureRecordingFile(const std::string& path);
// Exit statuses as vkt-rec's: 0, or 1 with a line on stderr naming the file.
int PictureRecordingInfo(const std::string& path);
int PictureRecordingExport(const std::string& path, const std::string& out);

}  // namespace vkt::rec
