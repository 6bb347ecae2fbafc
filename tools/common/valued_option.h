// The check every tool makes of an option that takes a value: the name is
// one the tool knows, and a value follows it. An unknown option is named as
// unknown even when nothing follows it.
#pragma once
#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vkt::tools {

// True when argv[i] is one of `known` and argv[i + 1] exists; otherwise
// false, with the reason in `error`.
inline bool valuedOption(int argc, char** argv, int i, std::initializer_list<std::string_view> known,
                         std::string& error) {
  const std::string_view name = argv[i];
  if (std::find(known.begin(), known.end(), name) == known.end()) {
    error = "unknown option " + std::string(name);
    return false;
  }
  if (i + 1 >= argc) {
    error = "missing value after " + std::string(name);
    return false;
  }
  return true;
}

}  // namespace vkt::tools
