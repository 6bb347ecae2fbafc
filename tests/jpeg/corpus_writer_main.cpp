// corpus_writer DIR: writes the standard test corpus (jpeg_corpus.h) as
// DIR/<name>.jpg, for fuzzing seeds and for looking at the pictures.
#include <cstdio>
#include <string>

#include "jpeg_corpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corpus_writer DIR\n");
    return 2;
  }
  for (const CorpusEntry& entry : standard_corpus()) {
    const std::string path = std::string(argv[1]) + "/" + entry.name + ".jpg";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(entry.bytes.data(), 1, entry.bytes.size(), file) != entry.bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      if (file) std::fclose(file);
      return 1;
    }
    std::fclose(file);
  }
  return 0;
}
