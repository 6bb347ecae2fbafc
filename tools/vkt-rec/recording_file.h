// A recording file read into memory and taken apart by the recording
// reader, with what vkt-rec derives from it: the pictures from the first
// key picture on as Annex-B, the picture size and the duration.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "recording_reader.h"

namespace vkt::rec {

struct RecordingFile {
  std::vector<uint8_t> bytes;
  RecordingContents contents;
};

// False when the file cannot be read.
bool LoadRecording(const std::string& path, RecordingFile& file);

// 00 00 00 01 before each parameter set.
std::vector<uint8_t> AnnexBParameterSets(const RecordingContents& contents);
// The units of a video box, each behind 00 00 00 01.
std::vector<uint8_t> AnnexBPicture(const RecordingFile& file, const RecordedBox& box);
// Index of the first key picture's box, or boxes.size().
size_t FirstKeyBox(const RecordingContents& contents);

// Width and height from the parameter sets and the first key picture, as
// the H.264 parser reads them; false when they cannot be told.
bool PictureSize(const RecordingFile& file, int& width, int& height);

}  // namespace vkt::rec
