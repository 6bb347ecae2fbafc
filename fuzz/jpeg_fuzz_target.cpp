// Fuzz target of the JPEG decoder: arbitrary bytes through the public
// interface, the way a caller uses it. The input's last byte picks the
// read after the parameter read (image, scaled, header then entropy,
// thumbnail, from memory or from a file) and the transform kind, so the
// modes change from one input to the next while every input replays the
// same way. Image reads run only below a pixel cap, so a stream that
// merely claims a huge frame does not make every iteration slow.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "vktjpeg.h"

namespace {

constexpr uint64_t kMaxPixels = 1u << 20;
constexpr size_t kMaxInputBytes = 1u << 20;

const JpegReadMode kFollowingReads[] = {READ_IMAGE_BUFFER,   READ_HALF_BUFFER,      READ_QUARTER_BUFFER,
                                        READ_EIGHTH_BUFFER,  READ_ENTROPY_BUFFER,   READ_THUMBNAIL_BUFFER,
                                        READ_IMAGE_FILE,     READ_PARAMS_FILE};

// One scratch file per process for the file modes.
const std::string& scratch_file() {
  static const std::string path = "/tmp/vkt_jpeg_fuzz_" + std::to_string(getpid()) + ".jpg";
  return path;
}

bool write_scratch(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(scratch_file().c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

void run(const uint8_t* data, size_t size) {
  const uint8_t selector = data[size - 1];
  const JpegReadMode following = kFollowingReads[selector % std::size(kFollowingReads)];
  const bool file_input = following == READ_IMAGE_FILE || following == READ_PARAMS_FILE;
  if (file_input && !write_scratch(data, size)) return;

  auto record = std::make_unique<JPEG_PROPERTIES>();
  if (JpegInit(record.get()) != JPEG_SUCCESS) {
    JpegFree(record.get());
    return;
  }
  std::vector<uint8_t> comment(1024);
  record->jpeg_comment = comment.data();
  record->jpeg_comment_size = static_cast<uint16_t>(comment.size());
  record->jpeg_bytes = data;
  record->jpeg_size_bytes = static_cast<uint32_t>(size);
  record->jpeg_file_name = scratch_file().c_str();
  record->dct_kind = (selector >> 4) & 1;

  JpegStatus status = JpegRead(record.get(), file_input ? READ_PARAMS_FILE : READ_PARAMS_BUFFER);
  const uint64_t pixels = uint64_t{record->jpeg_width} * record->jpeg_height;
  // An entropy-only read follows a header read, which stops before the
  // frame; the parameter read above has given the frame's size for the cap.
  if (status >= 0 && following == READ_ENTROPY_BUFFER) status = JpegRead(record.get(), READ_HEADER_BUFFER);
  if (status >= 0 && pixels <= kMaxPixels) {
    const uint32_t width = following == READ_THUMBNAIL_BUFFER ? 256 : (record->jpeg_width ? record->jpeg_width : 1);
    const uint32_t height = following == READ_THUMBNAIL_BUFFER ? 256 : (record->jpeg_height ? record->jpeg_height : 1);
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 3);
    record->picture_bytes = picture.data();
    record->picture_width = width;
    record->picture_height = (selector & 0x20) ? -static_cast<int32_t>(height) : static_cast<int32_t>(height);
    record->picture_channels = 3;
    record->picture_color = COLOR_BGR;
    record->jpeg_channels = 3;
    record->jpeg_color = COLOR_YCBCR;
    JpegRead(record.get(), following);
  }
  JpegFree(record.get());
  if (file_input) unlink(scratch_file().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInputBytes) return 0;
  run(data, size);
  return 0;
}
