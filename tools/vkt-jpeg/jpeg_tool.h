// The two commands of vkt-jpeg and what they share: reading the input file
// and the one-line failure report (program, file, reason; exit status 1).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vkt::jpegtool {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Prints "vkt-jpeg: FILE: REASON" on stderr; returns kExitFailure.
int fail(const std::string& file, const std::string& reason);
// The decoder's status text with its code, as the failure reason.
std::string status_reason(int32_t status);
bool read_file(const std::string& path, std::vector<uint8_t>& bytes);

// vkt-jpeg info FILE [--buffer]
int run_info(int argc, char** argv);
// vkt-jpeg decode IN OUT [options]
int run_decode(int argc, char** argv);

}  // namespace vkt::jpegtool
