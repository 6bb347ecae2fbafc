// The two commands of vkt-jpeg and what they share: the usage, reading the
// input (a file, or standard input for "-") and the one-line failure report
// (program, file, reason; exit status 1).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/tool_usage.h"

namespace vkt::jpegtool {

constexpr int kExitFailure = 1;
// djpeg's status for a picture written despite a warning.
constexpr int kExitWarning = 2;

extern const tools::ToolUsage kJpegTool;

// Prints "vkt-jpeg: FILE: REASON" on stderr; returns kExitFailure.
int fail(const std::string& file, const std::string& reason);
// The decoder's status text with its code, as the failure reason; for an
// unsupported frame, which coding process the stream in `bytes` uses.
std::string status_reason(int32_t status, const std::vector<uint8_t>& bytes = {});
// The coding process of the stream's unsupported frame and what is decoded.
std::string unsupported_frame_reason(const std::vector<uint8_t>& bytes);
// The whole of `path`, or of standard input for "-"; false with the
// system's reason.
bool read_input(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

// vkt-jpeg info FILE [--buffer]
int run_info(int argc, char** argv);
// vkt-jpeg decode IN OUT [options]
int run_decode(int argc, char** argv);

}  // namespace vkt::jpegtool
