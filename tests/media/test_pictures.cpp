// Test pictures (see test_pictures.h).
#include "test_pictures.h"

#include <cstdio>

#include <jpeglib.h>

#include <cstdlib>
#include <string>

#include "vktjpeg.h"

namespace vkt::test {

std::vector<uint8_t> EncodeSolidJpeg(const JpegSpec& spec) {
  std::vector<uint8_t> row(static_cast<size_t>(spec.width) * 3);
  for (int x = 0; x < spec.width; ++x) {
    row[x * 3] = static_cast<uint8_t>(spec.rgb >> 16);
    row[x * 3 + 1] = static_cast<uint8_t>(spec.rgb >> 8);
    row[x * 3 + 2] = static_cast<uint8_t>(spec.rgb);
  }
  jpeg_compress_struct encoder{};
  jpeg_error_mgr errors{};
  encoder.err = jpeg_std_error(&errors);
  jpeg_create_compress(&encoder);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&encoder, &out, &outSize);
  encoder.image_width = static_cast<JDIMENSION>(spec.width);
  encoder.image_height = static_cast<JDIMENSION>(spec.height);
  encoder.input_components = 3;
  encoder.in_color_space = JCS_RGB;
  jpeg_set_defaults(&encoder);
  jpeg_start_compress(&encoder, TRUE);
  if (spec.commentBytes > 0) {
    const std::string comment(spec.commentBytes, 'c');
    jpeg_write_marker(&encoder, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
  }
  JSAMPROW rows[1] = {row.data()};
  while (encoder.next_scanline < encoder.image_height) jpeg_write_scanlines(&encoder, rows, 1);
  jpeg_finish_compress(&encoder);
  jpeg_destroy_compress(&encoder);
  std::vector<uint8_t> picture(out, out + outSize);
  std::free(out);
  picture[10] = static_cast<uint8_t>(spec.channel);
  return picture;
}

bool DecoderReadsWholeImages() {
  const std::vector<uint8_t> picture = EncodeSolidJpeg(JpegSpec{16, 16});
  std::vector<uint8_t> pixels(16 * 16 * 3);
  static JPEG_PROPERTIES record;
  JpegInit(&record);
  record.jpeg_bytes = picture.data();
  record.jpeg_size_bytes = static_cast<uint32_t>(picture.size());
  JpegStatus status = JpegRead(&record, READ_PARAMS_BUFFER);
  if (status == JPEG_SUCCESS) {
    record.picture_bytes = pixels.data();
    record.picture_width = 16;
    record.picture_height = 16;
    status = JpegRead(&record, READ_IMAGE_BUFFER);
  }
  JpegFree(&record);
  return status != JPEG_ERR_NOT_SUPPORTED;
}

}  // namespace vkt::test
