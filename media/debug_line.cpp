// Formatting of the library's debug lines (see debug_line.h).
#include "debug_line.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

void SdkDebugLine(const char* format, ...) {
  static const char kPrefix[] = "VKT7100SDK: ";
  char line[512];
  int length = std::snprintf(line, sizeof line, "%s", kPrefix);
  va_list arguments;
  va_start(arguments, format);
  const int body = std::vsnprintf(line + length, sizeof line - length - 1, format, arguments);
  va_end(arguments);
  if (body < 0) return;
  // A long line is cut; it still ends with its newline.
  length = std::min<int>(length + body, static_cast<int>(sizeof line) - 2);
  line[length] = '\n';
  line[length + 1] = '\0';
  OutputDebugStringA(line);
}
