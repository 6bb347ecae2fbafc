// A recording file taken apart by the recording reader, read through a
// window (a regular file) or held in memory (a FIFO, read to its end), with
// what vkt-rec derives from it: pictures as Annex-B and the picture size.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording_reader.h"

namespace vkt::rec {

struct RecordingFile {
  std::unique_ptr<RecordingBytes> bytes;
  std::vector<uint8_t> spooled;  // a FIFO's bytes
  RecordingContents contents;
};

// False with a reason when the path is a directory or cannot be read. A
// FIFO is read to its end.
bool LoadRecording(const std::string& path, RecordingFile& file, std::string& reason);

// 00 00 00 01 before each unit.
std::vector<uint8_t> AnnexB(const NalUnits& units);
// The units of a video box, each behind 00 00 00 01, after `prefix`.
std::vector<uint8_t> AnnexBPicture(const RecordingFile& file, const RecordedBox& box,
                                   const std::vector<uint8_t>& prefix = {});

// Width and height from `parameterSets` and the key picture `box`, as the
// H.264 parser reads them; false when they cannot be told.
bool PictureSize(const RecordingFile& file, const NalUnits& parameterSets, const RecordedBox& box, int& width,
                 int& height);

}  // namespace vkt::rec
