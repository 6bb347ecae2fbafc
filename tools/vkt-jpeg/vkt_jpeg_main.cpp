// vkt-jpeg: command-line front end of the JPEG decoder.
//   vkt-jpeg info FILE [--buffer]
//   vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8] [--region L,T,R,B] [--fast] [--triangle] [--grey]
// "-" reads standard input or writes standard output (PNM). Exit status 0
// on success; 1 when the input cannot be read or decoded or the output
// cannot be written (one line on stderr naming the file and the reason);
// 2 for a usage error, and for a truncated stream whose decoded part was
// written after the warning "Premature end of JPEG file".
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "jpeg_tool.h"
#include "vktjpeg.h"

namespace vkt::jpegtool {

const tools::ToolUsage kJpegTool = {
    "vkt-jpeg",
    "usage: vkt-jpeg info FILE [--buffer]\n"
    "       vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8] [--region L,T,R,B] [--fast] [--triangle] [--grey]\n"
    "OUT ends in .png, .ppm, .pgm or .pnm; \"-\" reads standard input or writes PNM to standard output.\n"
    "Chroma is upsampled by replication unless --triangle is given.\n"};

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "vkt-jpeg: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailure;
}

std::string status_reason(int32_t status, const std::vector<uint8_t>& bytes) {
  const std::string code = " (status " + std::to_string(status) + ")";
  if (status == JPEG_ERR_UNSUPPORTED_FRAME) return unsupported_frame_reason(bytes) + code;
  return JpegErrorText(status) + code;
}

bool read_input(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason) {
  const bool standard_input = path == "-";
  FILE* file = standard_input ? stdin : std::fopen(path.c_str(), "rb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  bytes.clear();
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  if (failed) reason = errno ? std::strerror(errno) : "read error";
  if (!standard_input) std::fclose(file);
  return !failed;
}

}  // namespace vkt::jpegtool

int main(int argc, char** argv) {
  using namespace vkt::jpegtool;
  if (const auto status = vkt::tools::answerStandardOptions(kJpegTool, argc, argv)) return *status;
  if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return run_info(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "decode") == 0) return run_decode(argc - 2, argv + 2);
  return vkt::tools::usageError(kJpegTool, argc < 2 ? "no command" : "unknown command " + std::string(argv[1]));
}
