// Optional debug lines of the transports (connection outcomes, refused
// frames), sent through OutputDebugStringA once switched on.
#pragma once

namespace vkt::transport {

void setDebugOutput(bool enabled);
bool debugOutputEnabled();
void debugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vkt::transport
