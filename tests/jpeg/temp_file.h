// A temporary file holding given bytes, removed with the object; the JPEG
// tests' file-mode reads use it.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    char pattern[] = "/tmp/jpeg_test_XXXXXX";
    const int fd = mkstemp(pattern);
    EXPECT_GE(fd, 0);
    close(fd);
    path_ = pattern;
    rewrite(bytes);
  }
  // A file of the name given, removed with this object.
  TempFile(const std::vector<uint8_t>& bytes, std::string path) : path_(std::move(path)) { rewrite(bytes); }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Replaces the file's contents under the same name.
  void rewrite(const std::vector<uint8_t>& bytes) const {
    FILE* file = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
  }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};
