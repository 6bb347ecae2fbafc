// Container output of vkt-rec export (video_export.h).
#include "video_export.h"

#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "recording_export_plan.h"

namespace vkt::rec {
namespace {

// Owns the muxer, its file and its header-written state.
class ContainerWriter {
 public:
  ~ContainerWriter() {
    if (output_ && output_->pb && !(output_->oformat->flags & AVFMT_NOFILE)) avio_closep(&output_->pb);
    avformat_free_context(output_);
  }

  bool Open(const std::string& path, const char* muxer, const std::vector<uint8_t>& parameterSets, int width,
            int height, ExportOutcome& outcome) {
    if (avformat_alloc_output_context2(&output_, nullptr, muxer, path.c_str()) < 0 || !output_)
      return Fail("no muxer for this container", outcome);
    stream_ = avformat_new_stream(output_, nullptr);
    if (!stream_) return Fail("out of memory", outcome);
    AVCodecParameters* parameters = stream_->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_H264;
    parameters->width = width;
    parameters->height = height;
    // Annex-B parameter sets: the muxer turns them and the pictures into
    // the container's own form.
    parameters->extradata = static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) return Fail("out of memory", outcome);
    std::memcpy(parameters->extradata, parameterSets.data(), parameterSets.size());
    parameters->extradata_size = static_cast<int>(parameterSets.size());
    stream_->time_base = {1, 1000};
    if (avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
      outcome.outputAtFault = true;
      return Fail("cannot create the file", outcome);
    }
    outcome.outputCreated = true;
    if (avformat_write_header(output_, nullptr) < 0) return Fail("the muxer refused the stream", outcome);
    return true;
  }

  bool Write(std::vector<uint8_t>& picture, const ExportedPicture& planned) {
    AVPacket* packet = av_packet_alloc();
    if (!packet) return false;
    packet->data = picture.data();
    packet->size = static_cast<int>(picture.size());
    packet->stream_index = stream_->index;
    packet->pts = planned.presentationTime;
    packet->dts = planned.decodingTime;
    packet->duration = planned.duration;
    packet->flags = planned.key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet, {1, 1000}, stream_->time_base);
    const bool written = av_write_frame(output_, packet) >= 0;
    av_packet_free(&packet);
    return written;
  }

  bool Finish() { return av_write_trailer(output_) >= 0; }

 private:
  static bool Fail(const char* text, ExportOutcome& outcome) {
    outcome.reason = text;
    return false;
  }

  AVFormatContext* output_ = nullptr;
  AVStream* stream_ = nullptr;
};

// The libavformat muxer for an output name by its extension; null for one
// vkt-rec does not write.
const char* MuxerForOutput(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return nullptr;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == "mp4") return "mp4";
  if (extension == "mkv") return "matroska";
  if (extension == "mov") return "mov";
  return nullptr;
}

}  // namespace

ExportOutcome ExportVideo(const RecordingFile& file, const std::string& path) {
  ExportOutcome outcome;
  const char* muxer = MuxerForOutput(path);
  if (!muxer) {
    outcome.outputAtFault = true;
    outcome.reason = "unknown container: name the output .mp4, .mkv or .mov";
    return outcome;
  }
  const RecordingContents& contents = file.contents;
  const ExportPlan plan = PlanExport(*file.bytes, contents);
  if (plan.pictures.empty()) {
    outcome.reason = "no key picture to start from";
    return outcome;
  }
  if (plan.parameterSets.empty()) {
    outcome.reason = "no parameter sets in the recording";
    return outcome;
  }
  int width = 0, height = 0;
  PictureSize(file, plan.parameterSets, contents.boxes[plan.pictures.front().box], width, height);
  av_log_set_level(AV_LOG_ERROR);
  ContainerWriter writer;
  if (!writer.Open(path, muxer, AnnexB(plan.parameterSets), width, height, outcome)) return outcome;

  long written = 0;
  for (const ExportedPicture& planned : plan.pictures) {
    const RecordedBox& box = contents.boxes[planned.box];
    const std::vector<uint8_t> prefix =
        planned.parameterSetsInBand ? AnnexB(contents.segments[box.segment].parameterSets) : std::vector<uint8_t>{};
    std::vector<uint8_t> picture = AnnexBPicture(file, box, prefix);
    if (!writer.Write(picture, planned)) {
      outcome.outputAtFault = true;
      outcome.reason = "writing picture " + std::to_string(written) + " failed";
      return outcome;
    }
    ++written;
  }
  if (!writer.Finish()) {
    outcome.outputAtFault = true;
    outcome.reason = "finishing the file failed";
    return outcome;
  }
  outcome.pictures = written;
  outcome.notShownInOrder = plan.notShownInOrder;
  outcome.continuedAfterDamage = plan.continuedAfterDamage;
  return outcome;
}

}  // namespace vkt::rec
