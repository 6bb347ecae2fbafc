// Fuzz target of the JPEG decoder: arbitrary bytes through the public
// interface, the way callers use it. The input's first bytes
// (jpeg_fuzz_controls.h) choose the read after the parameter read (every
// picture mode, from memory or from a file, entropy-only after a header
// read, thumbnails), the output colour and channels, the picture's size
// and padding, row order, a region, the inverse DCT and upsampling kinds,
// `interrupt` and `use_inner_fields`; the JPEG stream follows. The picture
// is sized from the controls, not from the frame, so the decoder's
// clipping is exercised both ways. Picture reads run only for frames
// within a pixel budget, so a stream that merely claims a huge frame does
// not make every execution slow.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "jpeg_fuzz_controls.h"
#include "vktjpeg.h"

namespace {

using namespace jpeg_fuzz;

// Frames above this many pixels get the parameter read only.
constexpr uint64_t kPixelBudget = 1u << 15;
constexpr size_t kMaxInputBytes = 1u << 20;
// Interrupted reads resumed at most this often.
constexpr int kMaxResumes = 64;
// Bytes per pixel the picture buffer has room for: the most any colour
// code writes, so that a caller-trusted read (use_inner_fields) cannot
// outgrow it.
constexpr uint32_t kMaxChannels = 4;

// One scratch file per process for the file modes, in memory when possible.
const std::string& scratch_file() {
  static const std::string path =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/vkt_jpeg_fuzz_" +
      std::to_string(getpid()) + ".jpg";
  return path;
}

bool write_scratch(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(scratch_file().c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

bool is_file_mode(JpegReadMode mode) { return mode % 2 == 0; }

// The header read that must come before an entropy-only read.
JpegReadMode header_read_for(JpegReadMode entropy) {
  return entropy == READ_ENTROPY_FILE ? READ_HEADER_FILE : READ_HEADER_BUFFER;
}

// The record and the buffers live for the whole run: allocating and
// clearing them for every input would cost more than most decodes. What
// a read leaves in them is never read by the next one.
JPEG_PROPERTIES& shared_record() {
  static auto* record = new JPEG_PROPERTIES();
  return *record;
}

uint8_t* shared_picture() {
  constexpr size_t kLargest = (256 * kMaxChannels + 15) * 256;
  static auto* picture = new uint8_t[kLargest];
  return picture;
}

void set_picture(JPEG_PROPERTIES& record, const Controls& c) {
  const uint8_t flags = c.bytes[1];
  const uint32_t width = c.bytes[3] + 1u;
  const uint32_t height = c.bytes[4] + 1u;
  const uint32_t pad = c.bytes[5] & 0x0F;
  record.picture_bytes = shared_picture();
  record.picture_width = width;
  record.picture_height = (flags & kFlagBottomUp) ? -static_cast<int32_t>(height) : static_cast<int32_t>(height);
  record.picture_pad_bytes = pad;
  record.picture_color = kPictureColors[c.bytes[2] & 7];
  record.picture_channels = ((c.bytes[2] >> 3) & 3) + 1u;
  record.picture_subsampling = (flags & kFlagSubsampled) ? 2 : 0;
  record.dct_kind = (flags & kFlagFastDct) ? 0 : 1;
  record.upsampling_kind = (flags & kFlagTriangle) ? 1 : 0;
  if (flags & kFlagRegion) {
    record.region.left = (c.bytes[6] & 0x0F) * 8;
    record.region.top = (c.bytes[6] >> 4) * 8;
    record.region.right = record.region.left + ((c.bytes[7] & 0x0F) + 1) * 8;
    record.region.bottom = record.region.top + ((c.bytes[7] >> 4) + 1) * 8;
  }
}

void run(const Controls& c, const uint8_t* jpeg, size_t size) {
  const JpegReadMode following = kFollowingReads[c.bytes[0] % kFollowingReadCount];
  const bool file_input = is_file_mode(following);
  if (file_input && !write_scratch(jpeg, size)) return;

  JPEG_PROPERTIES* record = &shared_record();
  if (JpegInit(record) != JPEG_SUCCESS) {
    JpegFree(record);
    return;
  }
  static uint8_t comment[1024];
  if (!(c.bytes[1] & kFlagNoComment)) {
    record->jpeg_comment = comment;
    record->jpeg_comment_size = static_cast<uint16_t>(sizeof comment);
  }
  record->jpeg_bytes = jpeg;
  record->jpeg_size_bytes = static_cast<uint32_t>(size);
  record->jpeg_file_name = scratch_file().c_str();
  // Set before the parameter read, which copies them in, so that a
  // following read with use_inner_fields finds a complete set.
  set_picture(*record, c);

  JpegStatus status = JpegRead(record, file_input ? READ_PARAMS_FILE : READ_PARAMS_BUFFER);
  const uint64_t pixels = uint64_t{record->jpeg_width} * record->jpeg_height;
  if (status >= 0 && pixels <= kPixelBudget) {
    if (following == READ_ENTROPY_BUFFER || following == READ_ENTROPY_FILE)
      status = JpegRead(record, header_read_for(following));
    record->use_inner_fields = (c.bytes[1] & kFlagInnerFields) ? 1 : 0;
    record->interrupt = (c.bytes[1] & kFlagInterrupt) ? 1 : 0;
    if (status >= 0) status = JpegRead(record, following);
    // An interrupted read continues where it stopped.
    for (int resumes = 0; status == JPEG_INTERRUPT_SUCCESS && resumes < kMaxResumes; ++resumes)
      status = JpegRead(record, following);
  }
  JpegFree(record);
  if (file_input) unlink(scratch_file().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size <= kControlBytes || size > kMaxInputBytes) return 0;
  Controls controls;
  for (size_t i = 0; i < kControlBytes; ++i) controls.bytes[i] = data[i];
  run(controls, data + kControlBytes, size - kControlBytes);
  return 0;
}
