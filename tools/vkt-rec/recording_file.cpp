// Loading a recording and the views of it that info and export share.
#include "recording_file.h"

#include <fstream>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vkt::rec {
namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

void AppendUnit(std::vector<uint8_t>& out, const uint8_t* unit, size_t length) {
  out.insert(out.end(), std::begin(kStartCode), std::end(kStartCode));
  out.insert(out.end(), unit, unit + length);
}

}  // namespace

bool LoadRecording(const std::string& path, RecordingFile& file) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  file.contents = ReadRecording(file.bytes.data(), file.bytes.size());
  return true;
}

std::vector<uint8_t> AnnexBParameterSets(const RecordingContents& contents) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& set : contents.parameterSets) AppendUnit(out, set.data(), set.size());
  return out;
}

std::vector<uint8_t> AnnexBPicture(const RecordingFile& file, const RecordedBox& box) {
  std::vector<uint8_t> out;
  const uint8_t* payload = file.bytes.data() + box.offset + 24;
  for (const auto& [at, length] : SplitLengthPrefixedUnits(payload, box.size - 24)) AppendUnit(out, payload + at, length);
  return out;
}

size_t FirstKeyBox(const RecordingContents& contents) {
  size_t index = 0;
  while (index < contents.boxes.size() && !contents.boxes[index].key) ++index;
  return index;
}

bool PictureSize(const RecordingFile& file, int& width, int& height) {
  const size_t key = FirstKeyBox(file.contents);
  if (key == file.contents.boxes.size() || file.contents.parameterSets.empty()) return false;
  std::vector<uint8_t> stream = AnnexBParameterSets(file.contents);
  const std::vector<uint8_t> picture = AnnexBPicture(file, file.contents.boxes[key]);
  stream.insert(stream.end(), picture.begin(), picture.end());
  stream.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  const size_t dataLength = stream.size() - AV_INPUT_BUFFER_PADDING_SIZE;

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
