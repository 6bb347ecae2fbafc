// Loading a recording and the views of it that info and export share.
#include "recording_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "file_recording_bytes.h"
#include "stream_parser.h"

namespace vkt::rec {
namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

void AppendUnit(std::vector<uint8_t>& out, const uint8_t* unit, size_t length) {
  out.insert(out.end(), std::begin(kStartCode), std::end(kStartCode));
  out.insert(out.end(), unit, unit + length);
}

}  // namespace

bool LoadRecording(const std::string& path, RecordingFile& file, std::string& reason) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    reason = "is a directory, not a recording";
    return false;
  }
  if (std::filesystem::is_regular_file(path, error)) {
    auto windowed = std::make_unique<FileRecordingBytes>();
    if (!windowed->Open(path)) {
      reason = std::string("cannot open the file: ") + std::strerror(errno);
      return false;
    }
    file.bytes = std::move(windowed);
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      reason = std::string("cannot open the file: ") + std::strerror(errno);
      return false;
    }
    file.spooled.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
      reason = "cannot read the file";
      return false;
    }
    file.bytes = std::make_unique<MemoryRecordingBytes>(file.spooled.data(), file.spooled.size());
  }
  file.contents = ReadRecording(*file.bytes);
  return true;
}

std::vector<uint8_t> AnnexB(const NalUnits& units) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& unit : units) AppendUnit(out, unit.data(), unit.size());
  return out;
}

std::vector<uint8_t> AnnexBPicture(const RecordingFile& file, const RecordedBox& box,
                                   const std::vector<uint8_t>& prefix) {
  std::vector<uint8_t> out = prefix;
  const uint8_t* whole = file.bytes->View(box.offset, box.size);
  if (!whole) return out;
  const uint8_t* payload = whole + kQboxHeaderSize;
  for (const auto& [at, length] : SplitLengthPrefixedUnits(payload, box.size - kQboxHeaderSize))
    AppendUnit(out, payload + at, length);
  return out;
}

bool PictureSize(const RecordingFile& file, const NalUnits& parameterSets, const RecordedBox& box, int& width,
                 int& height) {
  std::vector<uint8_t> stream = AnnexBPicture(file, box, AnnexB(parameterSets));
  const size_t dataLength = stream.size();
  stream.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);

  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  width = height = 0;
  if (parser && context) {
    // Flags the whole run as complete frames, so one call parses it.
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    uint8_t* out = nullptr;
    int outLength = 0;
    av_parser_parse2(parser, context, &out, &outLength, stream.data(), static_cast<int>(dataLength), AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
    width = parser->width;
    height = parser->height;
  }
  av_parser_close(parser);
  avcodec_free_context(&context);
  return width > 0 && height > 0;
}

}  // namespace vkt::rec
