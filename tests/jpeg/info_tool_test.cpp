// vkt-jpeg info against libjpeg: width, height and components of every
// picture of the corpus, read from the file and from a buffer.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "jpeg_corpus.h"

namespace {

struct ToolResult {
  int exit_code = -1;
  std::map<std::string, std::string> fields;  // "name: value" lines
  std::string output;
};

ToolResult run_info(const std::string& path, bool buffer) {
  const std::string command = std::string(VKT_JPEG_TOOL) + " info '" + path + "'" + (buffer ? " --buffer" : "");
  ToolResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char line[4096];
  while (std::fgets(line, sizeof(line), pipe)) {
    std::string text(line);
    result.output += text;
    const size_t colon = text.find(": ");
    if (colon != std::string::npos) result.fields[text.substr(0, colon)] = text.substr(colon + 2, text.size() - colon - 3);
  }
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class InfoTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vkt_jpeg_info_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& path : written_) unlink(path.c_str());
    rmdir(dir_.c_str());
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    written_.push_back(path);
    return path;
  }
  std::string dir_;
  std::vector<std::string> written_;
};

TEST_F(InfoTool, AgreesWithLibjpegOnTheCorpus) {
  for (const CorpusEntry& entry : standard_corpus()) {
    ASSERT_FALSE(entry.bytes.empty()) << entry.name;
    ReferenceImage reference;
    ASSERT_TRUE(decode_with_libjpeg(entry.bytes, reference, false)) << entry.name;
    const std::string path = write(entry.name + ".jpg", entry.bytes);
    for (bool buffer : {false, true}) {
      ToolResult result = run_info(path, buffer);
      SCOPED_TRACE(entry.name + (buffer ? " (buffer)" : " (file)") + "\n" + result.output);
      EXPECT_EQ(result.exit_code, 0);
      EXPECT_EQ(result.fields["width"], std::to_string(reference.width));
      EXPECT_EQ(result.fields["height"], std::to_string(reference.height));
      EXPECT_EQ(result.fields["channels"], std::to_string(reference.components));
    }
  }
}

TEST_F(InfoTool, PrintsMarkerValuesAndTheComment) {
  EncodeOptions options;
  options.comment = "hello";
  ToolResult result = run_info(write("comment.jpg", encode_jpeg(options)), true);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.fields["comment"], "\"hello\"");
  EXPECT_EQ(result.fields["jfif"], "version 1.01, density unit 0, density 1x1");
  EXPECT_EQ(result.fields["adobe"], "none");
  EXPECT_EQ(result.fields["jpeg_subsampling"], "1");
}

TEST_F(InfoTool, ReportsAFailedReadOnStderrOnly) {
  ToolResult result = run_info(write("not.jpg", {0xFF, 0xD9, 0x00}), false);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(run_info(dir_ + "/missing.jpg", false).exit_code, 1);
}

}  // namespace
