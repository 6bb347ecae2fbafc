// vkt-jpeg info FILE [--buffer]
//
// Runs a parameter read of FILE through the decoder's public interface,
// from the file (mode 0) or, with --buffer, from its bytes in memory
// (mode 1), and prints what the read reports. A failed read prints the
// status and its text and exits with 1; a usage error exits with 2.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vktjpeg.h"

namespace {

// Larger than any comment (a COM body holds at most 65533 bytes), so an
// unchanged size after the read means the stream has no comment.
constexpr uint16_t kCommentBytes = 65535;

int usage() {
  std::fprintf(stderr, "usage: vkt-jpeg info FILE [--buffer]\n");
  return 2;
}

bool read_file(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

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

int run_info(const char* path, bool from_buffer) {
  std::vector<uint8_t> bytes;
  if (!read_file(path, bytes)) {
    std::fprintf(stderr, "vkt-jpeg: cannot read %s\n", path);
    return 1;
  }
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
      properties.jpeg_file_name = path;
      status = JpegRead(&properties, READ_PARAMS_FILE);
    }
  }
  if (status == JPEG_SUCCESS) {
    print_info(properties, comment.data());
    print_marker_values(properties.markers);
  } else {
    std::printf("status: %d %s\n", status, JpegErrorText(status));
  }
  JpegFree(&properties);
  return status == JPEG_SUCCESS ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "info") != 0) return usage();
  bool from_buffer = false;
  if (argc == 4) {
    if (std::strcmp(argv[3], "--buffer") != 0) return usage();
    from_buffer = true;
  } else if (argc != 3) {
    return usage();
  }
  return run_info(argv[2], from_buffer);
}
