// Test helper: keeps each text the code under test sends through
// OutputDebugStringA, for the test to read, and passes it on to the
// platform layer. Its definition stands in for the platform's in the whole
// test binary, so only one source file of a binary includes this header.
#pragma once
#include <dlfcn.h>

#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

namespace vkt::test {

inline std::mutex debugLinesMutex;
inline std::vector<std::string> debugLines;

inline size_t DebugLinesWith(const std::string& part) {
  std::lock_guard lock(debugLinesMutex);
  size_t count = 0;
  for (const std::string& line : debugLines) count += line.find(part) != std::string::npos;
  return count;
}

inline std::string LastDebugLine() {
  std::lock_guard lock(debugLinesMutex);
  return debugLines.empty() ? std::string() : debugLines.back();
}

}  // namespace vkt::test

extern "C" void WINAPI OutputDebugStringA(LPCSTR text) {
  static const auto next = reinterpret_cast<decltype(&OutputDebugStringA)>(dlsym(RTLD_NEXT, "OutputDebugStringA"));
  if (text) {
    std::lock_guard lock(vkt::test::debugLinesMutex);
    vkt::test::debugLines.emplace_back(text);
  }
  next(text);
}
