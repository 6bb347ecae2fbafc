// MP4 output of vkt-rec export (mp4_export.h).
#include "mp4_export.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vkt::rec {
namespace {

// A run of equal timestamps (or one going back) would not be a valid
// decoding order: each picture gets at least one tick after the last.
int64_t NextTime(int64_t wanted, int64_t previous) { return wanted > previous ? wanted : previous + 1; }

// Owns the muxer, its file and its header-written state.
class Mp4Writer {
 public:
  ~Mp4Writer() {
    if (output_ && output_->pb && !(output_->oformat->flags & AVFMT_NOFILE)) avio_closep(&output_->pb);
    avformat_free_context(output_);
  }

  bool Open(const std::string& path, const std::vector<uint8_t>& parameterSets, int width, int height,
            std::string& reason) {
    if (avformat_alloc_output_context2(&output_, nullptr, "mp4", path.c_str()) < 0 || !output_)
      return Fail("no MP4 muxer", reason);
    stream_ = avformat_new_stream(output_, nullptr);
    if (!stream_) return Fail("out of memory", reason);
    AVCodecParameters* parameters = stream_->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_H264;
    parameters->width = width;
    parameters->height = height;
    // Annex-B parameter sets: the muxer turns them and the pictures into
    // the MP4's own form.
    parameters->extradata = static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) return Fail("out of memory", reason);
    std::memcpy(parameters->extradata, parameterSets.data(), parameterSets.size());
    parameters->extradata_size = static_cast<int>(parameterSets.size());
    stream_->time_base = {1, 1000};
    if (avio_open(&output_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail("cannot create the file", reason);
    if (avformat_write_header(output_, nullptr) < 0) return Fail("the muxer refused the stream", reason);
    return true;
  }

  bool Write(std::vector<uint8_t>& picture, int64_t time, int64_t duration, bool key) {
    AVPacket* packet = av_packet_alloc();
    if (!packet) return false;
    packet->data = picture.data();
    packet->size = static_cast<int>(picture.size());
    packet->stream_index = stream_->index;
    packet->pts = packet->dts = time;
    packet->duration = duration;
    packet->flags = key ? AV_PKT_FLAG_KEY : 0;
    av_packet_rescale_ts(packet, {1, 1000}, stream_->time_base);
    const bool written = av_write_frame(output_, packet) >= 0;
    av_packet_free(&packet);
    return written;
  }

  bool Finish() { return av_write_trailer(output_) >= 0; }

 private:
  static bool Fail(const char* text, std::string& reason) {
    reason = text;
    return false;
  }

  AVFormatContext* output_ = nullptr;
  AVStream* stream_ = nullptr;
};

}  // namespace

long ExportMp4(const RecordingFile& file, const std::string& path, std::string& reason) {
  const RecordingContents& contents = file.contents;
  const size_t first = FirstKeyBox(contents);
  if (first == contents.boxes.size()) {
    reason = "no key picture to start from";
    return -1;
  }
  if (contents.parameterSets.empty()) {
    reason = "no parameter sets in the recording";
    return -1;
  }
  int width = 0, height = 0;
  PictureSize(file, width, height);
  av_log_set_level(AV_LOG_ERROR);
  Mp4Writer writer;
  if (!writer.Open(path, AnnexBParameterSets(contents), width, height, reason)) return -1;

  std::vector<size_t> videoBoxes;
  for (size_t i = first; i < contents.boxes.size(); ++i)
    if (contents.boxes[i].video) videoBoxes.push_back(i);
  const int64_t origin = contents.boxes[first].timeStamp;
  int64_t previous = -1;
  long written = 0;
  for (size_t n = 0; n < videoBoxes.size(); ++n) {
    const RecordedBox& box = contents.boxes[videoBoxes[n]];
    const int64_t time = NextTime(int64_t{box.timeStamp} - origin, previous);
    // The last picture lasts as long as the one before it.
    const int64_t next =
        n + 1 < videoBoxes.size() ? int64_t{contents.boxes[videoBoxes[n + 1]].timeStamp} - origin : -1;
    const int64_t duration = next > time ? next - time : (previous >= 0 ? time - previous : 40);
    std::vector<uint8_t> picture = AnnexBPicture(file, box);
    if (!writer.Write(picture, time, duration, box.key)) {
      reason = "writing picture " + std::to_string(n) + " failed";
      return -1;
    }
    previous = time;
    ++written;
  }
  if (!writer.Finish()) {
    reason = "finishing the file failed";
    return -1;
  }
  return written;
}

}  // namespace vkt::rec
