// File names of a split recording (record_parts.h).
#include "record_parts.h"

namespace vkt::viewer {

std::string recordingPartName(const std::string& first, uint32_t part) {
  if (part == 0) return first;
  const size_t dot = first.find_last_of("./");
  const size_t cut = dot != std::string::npos && first[dot] == '.' && dot > 0 && first[dot - 1] != '/' ? dot
                                                                                                       : first.size();
  return first.substr(0, cut) + "-" + std::to_string(part) + first.substr(cut);
}

}  // namespace vkt::viewer
