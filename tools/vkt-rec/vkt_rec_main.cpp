// vkt-rec: reads a recording made by VKT_StartRecord back.
//   vkt-rec info FILE          segments, boxes, pictures, key pictures,
//                              duration, picture size, parameter sets, then
//                              every intact segment, every damaged range and
//                              every time jump or gap
//   vkt-rec export FILE OUT    the H.264 remuxed, not re-encoded, into the
//                              container OUT's extension names (.mp4, .mkv, .mov)
// A damaged file: info prints everything it could read and one line on
// stderr per damaged range, exit 1; export writes every picture that does
// not depend on a lost one (recording_export_plan.h), reports each range
// on stderr and exits 0. A file that cannot be read or written: one line on stderr
// naming that file, exit 1. Usage errors exit 2.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/tool_usage.h"
#include "picture_export.h"
#include "recording_file.h"
#include "video_export.h"

namespace {

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "vkt-rec: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

std::string DamageText(const DamagedRange& damage) {
  return "damaged at offset " + std::to_string(damage.offset) + ": " + damage.problem;
}

void PrintSegments(const RecordingContents& c) {
  std::vector<uint32_t> pictures(c.segments.size()), keys(c.segments.size());
  for (const RecordedBox& box : c.boxes) {
    if (box.segment < 0) continue;
    pictures[box.segment] += box.video;
    keys[box.segment] += box.key;
  }
  for (size_t s = 0; s < c.segments.size(); ++s) {
    const RecordedSegment& segment = c.segments[s];
    if (!segment.intact) continue;
    std::printf("intact segment: offset %" PRIu64 ", %" PRIu64 " bytes, %u pictures, %u key\n", segment.offset,
                segment.length, pictures[s], keys[s]);
  }
  for (const DamagedRange& damage : c.damages)
    std::printf("damaged: offset %" PRIu64 " to %" PRIu64 " (%" PRIu64 " bytes): %s\n", damage.offset, damage.end,
                damage.end - damage.offset, damage.problem.c_str());
  for (const TimeJump& jump : c.jumps) {
    if (jump.gapMs >= 0)
      std::printf("gap: offset %" PRIu64 ", %.3f s without stream (timestamps %u to %u ms)\n", jump.offset,
                  jump.gapMs / 1000.0, jump.fromStamp, jump.toStamp);
    else
      std::printf("time jump: offset %" PRIu64 ", timestamps %u to %u ms, continued %" PRId64 " ms on\n", jump.offset,
                  jump.fromStamp, jump.toStamp, c.pictureStep);
  }
}

int Info(const std::string& path) {
  vkt::rec::RecordingFile file;
  std::string reason;
  if (!vkt::rec::LoadRecording(path, file, reason)) return Fail(path, reason);
  const RecordingContents& c = file.contents;
  std::printf("segments: %zu\n", c.segments.size());
  std::printf("boxes: %zu\n", c.boxes.size());
  std::printf("pictures: %u\n", c.pictures);
  std::printf("key pictures: %u\n", c.keyPictures);
  std::printf("duration: %.3f s\n", c.durationMs / 1000.0);
  const RecordedBox* key = nullptr;
  for (const RecordedBox& box : c.boxes)
    if (!key && box.key) key = &box;
  int width = 0, height = 0;
  if (key && vkt::rec::PictureSize(file, c.parameterSets, *key, width, height)) {
    std::printf("picture size: %dx%d\n", width, height);
  } else {
    std::printf("picture size: unknown\n");
  }
  std::printf("parameter sets:");
  for (const std::vector<uint8_t>& set : c.parameterSets)
    std::printf(" %s %zu bytes;", (set[0] & 0x1F) == 7 ? "SPS" : "PPS", set.size());
  std::printf("%s\n", c.parameterSets.empty() ? " none" : "");
  if (c.deviceLengths)
    std::printf("segment lengths: as the device sent them in %u segments (a recording into a pipe or FIFO)\n",
                c.deviceLengths);
  PrintSegments(c);
  for (const DamagedRange& damage : c.damages) Fail(path, DamageText(damage));
  return c.damaged() ? 1 : 0;
}

int Export(const std::string& path, const std::string& out) {
  vkt::rec::RecordingFile file;
  std::string reason;
  if (!vkt::rec::LoadRecording(path, file, reason)) return Fail(path, reason);
  const vkt::rec::ExportOutcome outcome = vkt::rec::ExportVideo(file, out);
  if (outcome.pictures < 0) {
    // A file this export did not write (a refused name, nothing to export) stays.
    if (outcome.outputCreated) std::remove(out.c_str());
    return Fail(outcome.outputAtFault ? out : path, outcome.reason);
  }
  for (const DamagedRange& damage : file.contents.damages)
    Fail(path, DamageText(damage) + (damage.end >= file.contents.size ? "; cut after the last whole picture"
                                                                       : "; resumed at the next intact box"));
  if (outcome.continuedAfterDamage)
    Fail(path, std::to_string(outcome.continuedAfterDamage) +
                   " damaged ranges lost no picture the next one depends on: pictures went on without a key picture");
  if (outcome.notShownInOrder)
    Fail(path, std::to_string(outcome.notShownInOrder) + " pictures of a cut B-frame group left out");
  std::printf("exported %ld pictures to %s\n", outcome.pictures, out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const vkt::tools::ToolUsage tool = {"vkt-rec", "usage: vkt-rec info FILE\n       vkt-rec export FILE OUT.mp4|OUT.mkv|OUT.mov\n"};
  if (const auto status = vkt::tools::answerStandardOptions(tool, argc, argv)) return *status;
  // Kind-7100 recordings (vkt7100sdk_callbacks.h) have a reader of their own.
  const bool pictures = argc >= 3 && vkt::rec::IsPictureRecordingFile(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "info") == 0)
    return pictures ? vkt::rec::PictureRecordingInfo(argv[2]) : Info(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "export") == 0)
    return pictures ? vkt::rec::PictureRecordingExport(argv[2], argv[3]) : Export(argv[2], argv[3]);
  return vkt::tools::usageError(tool, argc < 2 ? "no command" : "bad command line");
}
