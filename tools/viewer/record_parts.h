// Names of the files of a recording split with --record-split: the first
// is the name given, part N (from 1) gets "-N" before its extension
// (stream.rec, stream-1.rec, stream-2.rec ...), so the files sort and
// concatenate in order.
#pragma once
#include <cstdint>
#include <string>

namespace vkt::viewer {

std::string recordingPartName(const std::string& first, uint32_t part);

}  // namespace vkt::viewer
