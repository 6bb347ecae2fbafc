// Test helper: points the platform registry at a temporary file for the
// lifetime of the object, so a test can write the values it needs.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace vkt::test {

class TemporaryRegistry {
 public:
  TemporaryRegistry() {
    char pattern[] = "/tmp/vkt_registry_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path_ = pattern;
    setenv("VKT_REGISTRY_FILE", path_.c_str(), 1);
  }
  ~TemporaryRegistry() {
    unsetenv("VKT_REGISTRY_FILE");
    unlink(path_.c_str());
  }
  TemporaryRegistry(const TemporaryRegistry&) = delete;
  TemporaryRegistry& operator=(const TemporaryRegistry&) = delete;

  // Replaces the whole file.
  void write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vkt::test
