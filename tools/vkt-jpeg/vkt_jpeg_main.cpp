// vkt-jpeg: command-line front end of the JPEG decoder.
//   vkt-jpeg info FILE [--buffer]
//   vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8] [--region L,T,R,B] [--fast] [--triangle] [--grey]
// Exit status 0 on success, 1 when the input cannot be read or decoded or
// the output cannot be written (one line on stderr naming the file and the
// reason), 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "jpeg_tool.h"
#include "vktjpeg.h"

namespace vkt::jpegtool {

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "vkt-jpeg: %s: %s\n", file.c_str(), reason.c_str());
  return kExitFailure;
}

std::string status_reason(int32_t status) {
  return std::string(JpegErrorText(status)) + " (status " + std::to_string(status) + ")";
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

}  // namespace vkt::jpegtool

int main(int argc, char** argv) {
  using namespace vkt::jpegtool;
  if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return run_info(argc - 2, argv + 2);
  if (argc >= 2 && std::strcmp(argv[1], "decode") == 0) return run_decode(argc - 2, argv + 2);
  std::fprintf(stderr,
               "usage: vkt-jpeg info FILE [--buffer]\n"
               "       vkt-jpeg decode IN OUT [--scale 1/2|1/4|1/8] [--region L,T,R,B] [--fast] [--triangle]"
               " [--grey]\n"
               "OUT ends in .png, .ppm, .pgm or .pnm\n");
  return kExitUsage;
}
