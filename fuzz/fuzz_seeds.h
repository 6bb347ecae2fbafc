// Seed inputs of the fuzz targets, one function per target, each built
// from the generators the tests use (seed_writer_main.cpp writes them).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz_seeds {

struct Seed {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<Seed> JpegSeeds();
std::vector<Seed> StreamSeeds();
std::vector<Seed> FrameSeeds();
std::vector<Seed> SessionSeeds();
std::vector<Seed> RecordingSeeds();

}  // namespace fuzz_seeds
