// JpegErrorText: the fixed text of every status code, from one table.
#include "vktjpeg.h"

namespace {

struct StatusText {
  JpegStatus status;
  const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {JPEG_ROI_SUCCESS, "ROI Success"},
    {JPEG_INTERRUPT_SUCCESS, "Interrupt Success"},
    {JPEG_SUCCESS, "Success"},
    {JPEG_ERR_EXCEPTION, "Exception detected"},
    {JPEG_ERR_INVALID_ENCODER, "Invalid Encoder"},
    {JPEG_ERR_UNSUPPORTED_SUBSAMPLING, "Unsupported subsampling"},
    {JPEG_ERR_UNSUPPORTED_BYTES_PER_PIXEL, "Unsupported bytes per pixel"},
    {JPEG_ERR_MEMORY, "Memory error"},
    {JPEG_ERR_BAD_HUFFMAN_TABLE, "Bad Huffman table"},
    {JPEG_ERR_BAD_QUANT_TABLE, "Bad Quantization table"},
    {JPEG_ERR_INVALID_PROPERTIES, "Invalid JPEG_PROPERTIES"},
    {JPEG_ERR_CLOSE_FILE, "Error close file"},
    {JPEG_ERR_FILE_NAME, "Invalid file name"},
    {JPEG_ERR_EOF, "Error EOF"},
    {JPEG_ERR_NOT_SUPPORTED, "Not supported"},
    {JPEG_ERR_NOT_JPEG, "Not JPEG"},
    {JPEG_ERR_COMPONENTS, "Error COMP"},
    {JPEG_ERR_SOF, "Error SOF"},
    {JPEG_ERR_DNL, "Error DNL"},
    {JPEG_ERR_NO_HUFFMAN_TABLE, "No Huffman table"},
    {JPEG_ERR_NO_QUANT_TABLE, "No Quantization table"},
    {JPEG_ERR_NO_FRAME, "No frame"},
    {JPEG_ERR_MULTIPLE_FRAMES, "Multiply frame"},
    {JPEG_ERR_DATA, "Data error"},
    {JPEG_ERR_NO_IMAGE, "No image"},
    {JPEG_ERR_FILE, "File error"},
    {JPEG_ERR_INTERNAL, "Internal error"},
    {JPEG_ERR_BAD_RST, "Bad RST marker"},
    {JPEG_ERR_THUMBNAIL_TOO_SMALL, "Thumbnail too small"},
    {JPEG_ERR_THUMBNAIL_COLOR, "Thumbnail has wrong color"},
    {JPEG_ERR_OUTPUT_TOO_SMALL, "Output buffer too small"},
    {JPEG_ERR_UNSUPPORTED_FRAME, "Unsupported frame was found"},
    {JPEG_ERR_COMMENT_BUFFER, "Error access to jpeg_comment buffer"},
    {JPEG_ERR_RESERVED, "Reserved"},
};

}  // namespace

extern "C" VKT_JPEG_API const char* VKT_JPEG_CALL JpegErrorText(JpegStatus status) {
  for (const StatusText& entry : kStatusTexts) {
    if (entry.status == status) return entry.text;
  }
  return "Unknown error code";
}
