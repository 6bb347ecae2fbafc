// vkt-jpeg info FILE [--buffer]
//
// Runs a parameter read of FILE through the decoder's public interface,
// from the file (mode 0) or, with --buffer or for standard input ("-"),
// from its bytes in memory (mode 1), and prints what the read reports: size, components, colour and
// subsampling codes, thumbnail size, comment and the JFIF and Adobe values.
#include <cstdio>
#include <cstring>

#include "jpeg_tool.h"
#include "vktjpeg.h"

namespace vkt::jpegtool {
namespace {

// Larger than any comment (a COM body holds at most 65533 bytes), so an
// unchanged size after the read means the stream has no comment.
constexpr uint16_t kCommentBytes = 65535;

void print_comment(const uint8_t* comment, size_t length) {
  std::printf("comment: \"");
  for (size_t i = 0; i < length; ++i) {
    const uint8_t c = comment[i];
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      std::putchar(c);
    } else {
      std::printf("\\x%02x", c);
    }
  }
  std::printf("\"\n");
}

void print_info(const JPEG_PROPERTIES& p, const uint8_t* comment) {
  std::printf("width: %u\n", p.jpeg_width);
  std::printf("height: %u\n", p.jpeg_height);
  std::printf("channels: %u\n", p.jpeg_channels);
  std::printf("jpeg_color: %u\n", p.jpeg_color);
  std::printf("jpeg_subsampling: %u\n", p.jpeg_subsampling);
  std::printf("thumbnail: %ux%u\n", p.thumbnail_width, p.thumbnail_height);
  if (p.jpeg_comment_size == kCommentBytes) {
    std::printf("comment: none\n");
  } else {
    print_comment(comment, p.jpeg_comment_size);
  }
}

void print_marker_values(const JpegMarkerValues& m) {
  if (m.jfif_seen) {
    std::printf("jfif: version %u.%02u, density unit %u, density %ux%u\n", m.jfif_version >> 8,
                m.jfif_version & 0xFF, m.density_unit, m.x_density, m.y_density);
  } else {
    std::printf("jfif: none\n");
  }
  if (m.adobe_seen) {
    std::printf("adobe: version %u, flags %u %u, transform %u\n", m.adobe_version, m.adobe_flags0, m.adobe_flags1,
                m.adobe_transform);
  } else {
    std::printf("adobe: none\n");
  }
}

}  // namespace

int run_info(int argc, char** argv) {
  if (argc < 1) return tools::usageError(kJpegTool, "info needs FILE");
  if (argc > 2 || (argc == 2 && std::strcmp(argv[1], "--buffer") != 0))
    return tools::usageError(kJpegTool, "unknown option " + std::string(argv[argc - 1]));
  const std::string path = argv[0];
  const bool from_buffer = argc == 2 || path == "-";
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!read_input(path, bytes, reason)) return fail(path, reason);
  std::vector<uint8_t> comment(kCommentBytes);
  JPEG_PROPERTIES properties;
  JpegStatus status = JpegInit(&properties);
  if (status == JPEG_SUCCESS) {
    properties.jpeg_comment = comment.data();
    properties.jpeg_comment_size = kCommentBytes;
    if (from_buffer) {
      properties.jpeg_bytes = bytes.data();
      properties.jpeg_size_bytes = static_cast<uint32_t>(bytes.size());
      status = bytes.empty() ? JPEG_ERR_NOT_JPEG : JpegRead(&properties, READ_PARAMS_BUFFER);
    } else {
      properties.jpeg_file_name = path.c_str();
      status = JpegRead(&properties, READ_PARAMS_FILE);
    }
  }
  if (status == JPEG_SUCCESS) {
    print_info(properties, comment.data());
    print_marker_values(properties.markers);
  }
  JpegFree(&properties);
  return status == JPEG_SUCCESS ? 0 : fail(path, status_reason(status, bytes));
}

}  // namespace vkt::jpegtool
