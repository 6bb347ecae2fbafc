// Formats debug lines and hands them to the platform's debug output.
#include "debug_log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace vkt::transport {

static std::atomic<bool> debugEnabled{false};

void setDebugOutput(bool enabled) { debugEnabled.store(enabled, std::memory_order_relaxed); }

bool debugOutputEnabled() { return debugEnabled.load(std::memory_order_relaxed); }

void debugLine(const char* format, ...) {
  if (!debugOutputEnabled()) return;
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line - 1, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  const size_t end = static_cast<size_t>(length) < sizeof line - 2 ? static_cast<size_t>(length) : sizeof line - 2;
  line[end] = '\n';
  line[end + 1] = '\0';
  OutputDebugStringA(line);
}

}  // namespace vkt::transport
