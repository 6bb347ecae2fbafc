// fuzz_seed_writer DIR: writes the seeds of every fuzz target, made with
// the tests' own generators, into DIR/<target>/: the JPEG test corpus
// behind each read's controls, the simulator's H.264 stream blocks, wire
// frames, session event runs of both kinds, and recordings.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_seeds.h"

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seed_writer DIR\n");
    return 2;
  }
  const std::string root = argv[1];
  const struct {
    const char* target;
    std::vector<fuzz_seeds::Seed> (*make)();
  } targets[] = {
      {"jpeg", fuzz_seeds::JpegSeeds},
      {"stream", fuzz_seeds::StreamSeeds},
      {"frame", fuzz_seeds::FrameSeeds},
      {"session", fuzz_seeds::SessionSeeds},
      {"recording", fuzz_seeds::RecordingSeeds},
  };
  for (const auto& target : targets) {
    const std::string dir = root + "/" + target.target;
    mkdir(root.c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    for (const fuzz_seeds::Seed& seed : target.make()) {
      if (!WriteFile(dir + "/" + seed.name, seed.bytes)) {
        std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), seed.name.c_str());
        return 1;
      }
    }
  }
  return 0;
}
