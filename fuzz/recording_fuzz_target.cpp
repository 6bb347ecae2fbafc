// Fuzz target of the recording reader: arbitrary bytes as a recording file.
// Besides the sanitizers' checks, what the reader reports must lie inside
// the input: every box, the whole part, the bad offset, and the units of
// every video box.
#include <cstdint>
#include <cstdlib>

#include "recording_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RecordingContents contents = ReadRecording(data, size);
  if (contents.wholeBytes > size || (contents.damaged && contents.badOffset >= size + 1)) std::abort();
  for (const RecordedBox& box : contents.boxes) {
    if (box.offset + box.size > contents.wholeBytes || box.size < 24) std::abort();
    if (!box.video) continue;
    for (const auto& [at, length] : SplitLengthPrefixedUnits(data + box.offset + 24, box.size - 24))
      if (at + length > box.size - 24) std::abort();
  }
  return 0;
}
