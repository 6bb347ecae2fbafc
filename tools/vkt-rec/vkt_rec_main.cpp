// vkt-rec: reads a recording made by VKT_StartRecord back.
//   vkt-rec info FILE          segments, boxes, pictures, key pictures,
//                              duration, picture size, parameter sets
//   vkt-rec export FILE OUT.mp4  the H.264 remuxed into MP4, not re-encoded
// A damaged file: info prints what precedes the damage, then one line on
// stderr with the first bad offset, exit 1; export writes the pictures
// before it, reports the cut on stderr and exits 0. A file that cannot be
// read or exported: one line on stderr, exit 1. Usage errors exit 2.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/tool_usage.h"
#include "mp4_export.h"
#include "recording_file.h"

namespace {

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "vkt-rec: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

std::string DamageText(const RecordingContents& contents) {
  return "damaged at offset " + std::to_string(contents.badOffset) + ": " + contents.problem;
}

// Seconds from the first to the last video timestamp (milliseconds), plus
// one picture's share.
double DurationSeconds(const RecordingContents& contents) {
  int64_t first = -1, last = -1;
  for (const RecordedBox& box : contents.boxes) {
    if (!box.video) continue;
    if (first < 0) first = box.timeStamp;
    last = box.timeStamp;
  }
  if (first < 0 || last < first) return 0;
  const double span = double(last - first);
  return (contents.pictures > 1 ? span + span / (contents.pictures - 1) : 0) / 1000.0;
}

int Info(const std::string& path) {
  vkt::rec::RecordingFile file;
  if (!vkt::rec::LoadRecording(path, file)) return Fail(path, "cannot read the file");
  const RecordingContents& c = file.contents;
  std::printf("segments: %u\n", c.segments);
  std::printf("boxes: %zu\n", c.boxes.size());
  std::printf("pictures: %u\n", c.pictures);
  std::printf("key pictures: %u\n", c.keyPictures);
  std::printf("duration: %.3f s\n", DurationSeconds(c));
  int width = 0, height = 0;
  if (vkt::rec::PictureSize(file, width, height)) {
    std::printf("picture size: %dx%d\n", width, height);
  } else {
    std::printf("picture size: unknown\n");
  }
  std::printf("parameter sets:");
  for (const std::vector<uint8_t>& set : c.parameterSets)
    std::printf(" %s %zu bytes;", (set[0] & 0x1F) == 7 ? "SPS" : "PPS", set.size());
  std::printf("%s\n", c.parameterSets.empty() ? " none" : "");
  return c.damaged ? Fail(path, DamageText(c)) : 0;
}

int Export(const std::string& path, const std::string& out) {
  vkt::rec::RecordingFile file;
  if (!vkt::rec::LoadRecording(path, file)) return Fail(path, "cannot read the file");
  std::string reason;
  const long pictures = vkt::rec::ExportMp4(file, out, reason);
  if (pictures < 0) {
    std::remove(out.c_str());
    return Fail(path, reason);
  }
  if (file.contents.damaged)
    std::fprintf(stderr, "vkt-rec: %s: %s; cut after the last whole picture\n", path.c_str(),
                 DamageText(file.contents).c_str());
  std::printf("exported %ld pictures to %s\n", pictures, out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const vkt::tools::ToolUsage tool = {"vkt-rec", "usage: vkt-rec info FILE\n       vkt-rec export FILE OUT.mp4\n"};
  if (const auto status = vkt::tools::answerStandardOptions(tool, argc, argv)) return *status;
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "export") == 0) return Export(argv[2], argv[3]);
  return vkt::tools::usageError(tool, argc < 2 ? "no command" : "bad command line");
}
