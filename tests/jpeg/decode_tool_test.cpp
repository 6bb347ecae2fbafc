// vkt-jpeg decode against libjpeg: whole, scaled, region, fast-transform,
// triangle-filter and grey reads of corpus streams, written as PPM, PGM or
// PNG and read back, compared sample by sample within the decoder's
// documented tolerances (docs/jpeg.md); then the failures: one line on
// stderr naming the file, exit 1 for bad input or output, 2 for usage.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jpeg_corpus.h"
#include "recon_reference.h"

namespace {

struct ToolRun {
  int exit_code = -1;
  std::string stderr_text;
};

std::string shell_quoted(const std::string& text) { return "'" + text + "'"; }

ToolRun run_tool(const std::string& dir, const std::vector<std::string>& args) {
  std::string command = VKT_JPEG_TOOL;
  // Appended piece by piece: GCC 12 at -O3 misreads a prepend into a
  // temporary string as an overlapping copy (-Wrestrict).
  for (const std::string& arg : args) command.append(" ").append(shell_quoted(arg));
  const std::string err = dir + "/stderr.txt";
  command.append(" 2>").append(shell_quoted(err));
  ToolRun run;
  const int status = std::system(command.c_str());
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err);
  run.stderr_text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

// Binary PGM or PPM as written by the tool: header, then the samples.
Picture read_pnm(const std::string& path) {
  Picture picture;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> picture.width >> picture.height >> maxval;
  in.get();
  if (!in || maxval != 255 || (magic != "P5" && magic != "P6")) return Picture{};
  picture.channels = magic == "P5" ? 1 : 3;
  picture.bytes.resize(static_cast<size_t>(picture.width) * picture.height * picture.channels);
  in.read(reinterpret_cast<char*>(picture.bytes.data()), static_cast<std::streamsize>(picture.bytes.size()));
  return in ? picture : Picture{};
}

Picture read_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return Picture{};
  Picture picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.channels = (image.format & PNG_FORMAT_FLAG_COLOR) ? 3 : 1;
  image.format = picture.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  picture.bytes.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.bytes.data(), 0, nullptr)) return Picture{};
  return picture;
}

// libjpeg's picture turned from BGR into the tool's RGB, cut to a region.
Picture reference_rgb(const std::vector<uint8_t>& jpeg, const LibjpegOptions& options, const JpegRegion& region) {
  Picture full = decode_reference(jpeg, options);
  if (full.channels == 3)
    for (size_t i = 0; i + 2 < full.bytes.size(); i += 3) std::swap(full.bytes[i], full.bytes[i + 2]);
  if (region.right == 0) return full;
  Picture cut;
  cut.channels = full.channels;
  cut.width = std::min(region.right, full.width) - region.left;
  cut.height = std::min(region.bottom, full.height) - region.top;
  for (int y = region.top; y < region.top + cut.height; ++y) {
    const auto row = full.bytes.begin() + (static_cast<size_t>(y) * full.width + region.left) * full.channels;
    cut.bytes.insert(cut.bytes.end(), row, row + static_cast<ptrdiff_t>(cut.width) * full.channels);
  }
  return cut;
}

class DecodeTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vkt_jpeg_decode_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  std::string dir_;
};

struct DecodeCase {
  const char* name;
  std::vector<std::string> options;
  const char* extension;
  LibjpegOptions reference;  // grey_output is set for grey pictures
  JpegRegion region;         // in output pixels; right 0 = whole picture
  int tolerance;
};

const DecodeCase kCases[] = {
    {"whole", {}, "ppm", {}, {}, 3},
    {"whole png", {}, "png", {}, {}, 3},
    {"half", {"--scale", "1/2"}, "ppm", {false, false, 2}, {}, 3},
    {"quarter png", {"--scale", "1/4"}, "png", {false, false, 4}, {}, 3},
    {"eighth", {"--scale", "1/8"}, "pnm", {false, false, 8}, {}, 3},
    {"fast", {"--fast"}, "ppm", {false, true, 1}, {}, 6},
    {"triangle", {"--triangle"}, "png", {true, false, 1}, {}, 3},
    {"grey", {"--grey"}, "png", {false, false, 1, true}, {}, 1},
    {"grey by extension", {}, "pgm", {false, false, 1, true}, {}, 1},
    {"region", {"--region", "5,3,41,29"}, "ppm", {}, {5, 3, 41, 29}, 3},
    {"region past the edge", {"--region", "30,20,500,500"}, "png", {}, {30, 20, 500, 500}, 3},
    {"region far past the edge", {"--region", "0,0,99999,99999"}, "ppm", {}, {0, 0, 99999, 99999}, 3},
    {"half region", {"--scale", "1/2", "--region", "2,1,19,14"}, "ppm", {false, false, 2}, {2, 1, 19, 14}, 3},
};

TEST_F(DecodeTool, AgreesWithLibjpegInEveryReadKind) {
  for (const CorpusEntry& entry : standard_corpus()) {
    if (entry.name != "baseline_420_odd_size" && entry.name != "progressive_444_odd_size" &&
        entry.name != "grey_odd_size" && entry.name != "restart_422")
      continue;
    const std::string input = write(entry.name + ".jpg", entry.bytes);
    for (const DecodeCase& c : kCases) {
      SCOPED_TRACE(entry.name + " " + c.name);
      const std::string output = dir_ + "/out." + c.extension;
      std::vector<std::string> args = {"decode", input, output};
      args.insert(args.end(), c.options.begin(), c.options.end());
      const ToolRun run = run_tool(dir_, args);
      ASSERT_EQ(run.exit_code, 0) << run.stderr_text;
      EXPECT_EQ(run.stderr_text, "");
      LibjpegOptions reference = c.reference;
      reference.grey_output = reference.grey_output || entry.options.components == 1;
      const Picture expected = reference_rgb(entry.bytes, reference, c.region);
      const Picture actual = std::string(c.extension) == "png" ? read_png(output) : read_pnm(output);
      ASSERT_EQ(actual.channels, expected.channels);
      const int difference = max_difference(actual, expected);
      EXPECT_GE(difference, 0) << "picture sizes differ: " << actual.width << "x" << actual.height << " against "
                               << expected.width << "x" << expected.height;
      EXPECT_LE(difference, c.tolerance);
    }
  }
}

TEST_F(DecodeTool, BadInputOutputAndUsageGiveOneLineAndTheirStatus) {
  EncodeOptions options;
  const std::vector<uint8_t> good = encode_jpeg(options);
  const std::string jpeg = write("good.jpg", good);
  // Cut inside the tables.
  const std::string truncated = write("cut.jpg", std::vector<uint8_t>(good.begin(), good.begin() + 100));
  const std::string not_jpeg = write("not.jpg", {0xFF, 0xD9, 0x00});
  const std::string empty = write("empty.jpg", {});
  std::vector<uint8_t> arithmetic_bytes = good;
  for (size_t i = 0; i + 1 < arithmetic_bytes.size(); ++i)
    if (arithmetic_bytes[i] == 0xFF && arithmetic_bytes[i + 1] == 0xC0) arithmetic_bytes[i + 1] = 0xC9;
  const std::string arithmetic = write("arithmetic.jpg", arithmetic_bytes);
  const std::string out = dir_ + "/out.png";
  struct Failure {
    std::vector<std::string> args;
    int exit_code;
    std::string line;  // the whole stderr for exit 1; its first line for usage errors
  };
  const Failure failures[] = {
      {{"decode", not_jpeg, out}, 1, "vkt-jpeg: " + not_jpeg + ": Not JPEG (status -13)\n"},
      {{"decode", empty, out}, 1, "vkt-jpeg: " + empty + ": Not JPEG (status -13)\n"},
      {{"decode", truncated, out}, 1, "vkt-jpeg: " + truncated + ": Data error (status -21)\n"},
      {{"decode", dir_ + "/missing.jpg", out}, 1, "vkt-jpeg: " + dir_ + "/missing.jpg: No such file or directory\n"},
      {{"decode", arithmetic, out}, 1,
       "vkt-jpeg: " + arithmetic +
           ": arithmetic-coded (SOF9) frame: only Huffman-coded baseline, extended and progressive frames are"
           " decoded (status -29)\n"},
      {{"decode", jpeg, dir_ + "/no/such/dir.png"}, 1,
       "vkt-jpeg: " + dir_ + "/no/such/dir.png: No such file or directory\n"},
      {{"decode", jpeg, out, "--region", "64,0,80,8"}, 1,
       "vkt-jpeg: " + jpeg + ": the region lies outside the 64x48 picture\n"},
      {{"info", not_jpeg}, 1, "vkt-jpeg: " + not_jpeg + ": Not JPEG (status -13)\n"},
      {{"decode", jpeg, dir_ + "/out.gif"}, 2, "vkt-jpeg: OUT must end in .png, .ppm, .pgm or .pnm, or be -"},
      {{"decode", jpeg, out, "--scale", "1/3"}, 2, "vkt-jpeg: --scale takes 1/2, 1/4 or 1/8"},
      {{"decode", jpeg, out, "--region", "4,4,4,8"}, 2, "vkt-jpeg: --region takes L,T,R,B with L < R and T < B"},
      {{"decode", jpeg, out, "--region", "1,2,3"}, 2, "vkt-jpeg: --region takes L,T,R,B with L < R and T < B"},
      {{"decode", jpeg}, 2, "vkt-jpeg: decode needs IN and OUT"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.args.back());
    const ToolRun run = run_tool(dir_, f.args);
    EXPECT_EQ(run.exit_code, f.exit_code);
    if (f.exit_code == 1) {
      EXPECT_EQ(run.stderr_text, f.line);
    } else {
      EXPECT_EQ(run.stderr_text.substr(0, run.stderr_text.find('\n')), f.line);
    }
  }
  // A failed decode leaves no output file behind.
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

}  // namespace
