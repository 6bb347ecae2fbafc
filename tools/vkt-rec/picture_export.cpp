// Kind-7100 recordings in vkt-rec (see picture_export.h).
#include "picture_export.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "picture_recording_reader.h"
#include "vktjpeg.h"

namespace vkt::rec {
namespace {

int Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "vkt-rec: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

bool Load(const std::string& path, std::vector<uint8_t>& bytes, PictureRecording& recording, std::string& reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = "cannot open the file";
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return ReadPictureRecording(bytes.data(), bytes.size(), recording, reason);
}

// The picture's size from its frame header; false when it has none.
bool PictureSize(const uint8_t* picture, uint32_t length, uint32_t& width, uint32_t& height) {
  JPEG_PROPERTIES record;
  if (JpegInit(&record) != JPEG_SUCCESS) return false;
  // No comment buffer: a comment of any length is passed over (one longer
  // than a buffer would end the read before a frame header after it).
  record.jpeg_bytes = picture;
  record.jpeg_size_bytes = length;
  const JpegStatus status = JpegRead(&record, READ_PARAMS_BUFFER);
  width = record.jpeg_width;
  height = record.jpeg_height;
  JpegFree(&record);
  return status == JPEG_SUCCESS && width && height;
}

// Milliseconds, strictly increasing: two pictures that arrived within one
// millisecond are set one apart.
std::vector<int64_t> PictureTimes(const PictureRecording& recording) {
  std::vector<int64_t> times;
  for (const RecordedPicture& picture : recording.pictures) {
    const auto ms = static_cast<int64_t>(picture.arrivalMicros / 1000);
    times.push_back(times.empty() ? ms : std::max(ms, times.back() + 1));
  }
  return times;
}

bool IsMatroskaName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ending = path.substr(path.size() - 4);
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ending == ".mkv";
}

}  // namespace

bool IsPictureRecordingFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint8_t start[16] = {};
  in.read(reinterpret_cast<char*>(start), sizeof start);
  return in && IsPictureRecording(start, sizeof start);
}

int PictureRecordingInfo(const std::string& path) {
  std::vector<uint8_t> bytes;
  PictureRecording recording;
  std::string reason;
  if (!Load(path, bytes, recording, reason)) return Fail(path, reason);
  std::printf("kind-7100 recording of channel %u\n", recording.channel);
  std::printf("pictures: %zu\n", recording.pictures.size());
  const std::vector<int64_t> times = PictureTimes(recording);
  std::printf("duration: %.3f s\n", times.empty() ? 0.0 : (times.back() - times.front()) / 1000.0);
  uint32_t width = 0, height = 0;
  if (!recording.pictures.empty() &&
      PictureSize(bytes.data() + recording.pictures[0].offset, recording.pictures[0].length, width, height))
    std::printf("picture size: %ux%u\n", width, height);
  else
    std::printf("picture size: unknown\n");
  for (const auto& [first, end] : recording.damaged) {
    std::printf("damaged: offset %zu to %zu (%zu bytes)\n", first, end, end - first);
    Fail(path, "damaged at offset " + std::to_string(first));
  }
  return recording.damaged.empty() ? 0 : 1;
}

int PictureRecordingExport(const std::string& path, const std::string& out) {
  if (!IsMatroskaName(out)) return Fail(out, "unknown container: name the output of a kind-7100 recording .mkv");
  std::vector<uint8_t> bytes;
  PictureRecording recording;
  std::string reason;
  if (!Load(path, bytes, recording, reason)) return Fail(path, reason);
  uint32_t width = 0, height = 0;
  if (recording.pictures.empty() ||
      !PictureSize(bytes.data() + recording.pictures[0].offset, recording.pictures[0].length, width, height))
    return Fail(path, "no picture to export");
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, "matroska", out.c_str()) < 0 || !output)
    return Fail(out, "no muxer for this container");
  bool created = false;
  const auto finish = [&](const std::string& fault) {
    if (output->pb) avio_closep(&output->pb);
    avformat_free_context(output);
    if (fault.empty()) return 0;
    if (created) std::remove(out.c_str());
    return Fail(out, fault);
  };
  AVStream* stream = avformat_new_stream(output, nullptr);
  if (!stream) return finish("out of memory");
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = AV_CODEC_ID_MJPEG;
  stream->codecpar->width = static_cast<int>(width);
  stream->codecpar->height = static_cast<int>(height);
  stream->time_base = {1, 1000};
  if (avio_open(&output->pb, out.c_str(), AVIO_FLAG_WRITE) < 0) return finish("cannot create the file");
  created = true;
  if (avformat_write_header(output, nullptr) < 0) return finish("the muxer refused the stream");
  const std::vector<int64_t> times = PictureTimes(recording);
  AVPacket* packet = av_packet_alloc();
  if (!packet) return finish("out of memory");
  for (size_t i = 0; i < recording.pictures.size(); ++i) {
    packet->data = bytes.data() + recording.pictures[i].offset;
    packet->size = static_cast<int>(recording.pictures[i].length);
    packet->stream_index = stream->index;
    packet->pts = packet->dts = times[i] - times.front();
    packet->duration = i + 1 < times.size() ? times[i + 1] - times[i] : 40;
    packet->flags = AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet, {1, 1000}, stream->time_base);
    if (av_write_frame(output, packet) < 0) {
      av_packet_free(&packet);
      return finish("writing picture " + std::to_string(i) + " failed");
    }
  }
  av_packet_free(&packet);
  if (av_write_trailer(output) < 0) return finish("finishing the file failed");
  for (const auto& damage : recording.damaged)
    Fail(path, "damaged at offset " + std::to_string(damage.first) + "; resumed at the next whole picture");
  std::printf("exported %zu pictures to %s\n", recording.pictures.size(), out.c_str());
  return finish("");
}

}  // namespace vkt::rec
