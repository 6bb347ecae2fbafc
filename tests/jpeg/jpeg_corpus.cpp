// libjpeg-based corpus generator and reference decoder for the decoder's
// tests. libjpeg reports errors through a longjmp-free error manager that
// throws, so a refused stream cannot leave the test in an undefined state.
#include "jpeg_corpus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace {

struct LibjpegError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void throw_error(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  throw LibjpegError(message);
}

void silence(j_common_ptr, int) {}

void set_sampling(jpeg_compress_struct& info, Sampling sampling) {
  const int h = sampling == Sampling::k444 ? 1 : 2;
  const int v = sampling == Sampling::k420 ? 2 : 1;
  info.comp_info[0].h_samp_factor = h;
  info.comp_info[0].v_samp_factor = v;
  for (int i = 1; i < info.num_components; ++i) {
    info.comp_info[i].h_samp_factor = 1;
    info.comp_info[i].v_samp_factor = 1;
  }
}

}  // namespace

std::vector<uint8_t> make_test_pattern(int width, int height, int components) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * components];
      const bool checker = ((x / 5) + (y / 7)) % 2 == 0;
      const int ramp = (x * 255) / (width > 1 ? width - 1 : 1);
      p[0] = static_cast<uint8_t>(checker ? ramp : 255 - (y * 255) / (height > 1 ? height - 1 : 1));
      if (components == 3) {
        p[1] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
        p[2] = static_cast<uint8_t>(x < width / 2 ? 40 + y % 200 : 220 - x % 120);
      }
    }
  }
  return pixels;
}

std::vector<uint8_t> encode_pixels(const EncodeOptions& options, const std::vector<uint8_t>& pixels) {
  const int components = options.factors.empty() ? options.components : static_cast<int>(options.factors.size());
  if (pixels.size() != static_cast<size_t>(options.width) * options.height * components) return {};
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  error.error_exit = throw_error;
  error.emit_message = silence;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  std::vector<jpeg_scan_info> script;
  for (const ScanEntry& scan : options.scans) {
    jpeg_scan_info& entry = script.emplace_back();
    entry.comps_in_scan = static_cast<int>(std::min<size_t>(scan.components.size(), MAX_COMPS_IN_SCAN));
    for (int i = 0; i < entry.comps_in_scan; ++i) entry.component_index[i] = scan.components[i];
    entry.Ss = scan.ss;
    entry.Se = scan.se;
    entry.Ah = scan.ah;
    entry.Al = scan.al;
  }
  try {
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(options.width);
    info.image_height = static_cast<JDIMENSION>(options.height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    if (!options.write_jfif) info.write_JFIF_header = FALSE;
    if (options.ycck && components == 4) jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, options.quality, options.extended ? FALSE : TRUE);
    if (!options.factors.empty()) {
      for (int c = 0; c < components; ++c) {
        info.comp_info[c].h_samp_factor = options.factors[c].first;
        info.comp_info[c].v_samp_factor = options.factors[c].second;
      }
    } else if (components == 3) {
      set_sampling(info, options.sampling);
    }
    info.optimize_coding = options.optimize ? TRUE : FALSE;
    info.restart_interval = static_cast<unsigned>(options.restart_interval);
    if (options.progressive) jpeg_simple_progression(&info);
    if (!script.empty()) {
      info.scan_info = script.data();
      info.num_scans = static_cast<int>(script.size());
    }
    jpeg_start_compress(&info, TRUE);
    if (!options.comment.empty()) {
      jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(options.comment.data()),
                        static_cast<unsigned>(options.comment.size()));
    }
    while (info.next_scanline < info.image_height) {
      JSAMPROW row =
          const_cast<JSAMPROW>(&pixels[static_cast<size_t>(info.next_scanline) * options.width * components]);
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    out.assign(buffer, buffer + size);
  } catch (const LibjpegError&) {
    out.clear();
  }
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

std::vector<uint8_t> encode_jpeg(const EncodeOptions& options) {
  const int components = options.factors.empty() ? options.components : static_cast<int>(options.factors.size());
  return encode_pixels(options, make_test_pattern(options.width, options.height, components));
}

std::vector<uint8_t> without_huffman_tables(const std::vector<uint8_t>& jpeg) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
    const size_t length = 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    if (jpeg[at + 1] != 0xC4) out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + length);
    at += length;
  }
  out.insert(out.end(), jpeg.begin() + at, jpeg.end());
  return out;
}

std::vector<CorpusEntry> standard_corpus() {
  std::vector<CorpusEntry> corpus;
  auto add = [&](const std::string& name, EncodeOptions options) {
    corpus.push_back({name, options, encode_jpeg(options)});
  };
  EncodeOptions o;
  add("baseline_420", o);
  o.sampling = Sampling::k422;
  add("baseline_422", o);
  o.sampling = Sampling::k444;
  add("baseline_444", o);
  o = EncodeOptions{};
  o.components = 1;
  o.width = 37;
  o.height = 21;
  add("grey_odd_size", o);
  o = EncodeOptions{};
  o.width = 75;
  o.height = 53;
  add("baseline_420_odd_size", o);
  o = EncodeOptions{};
  o.extended = true;
  o.quality = 3;
  add("extended_sequential", o);
  o = EncodeOptions{};
  o.progressive = true;
  add("progressive_420", o);
  o.sampling = Sampling::k444;
  o.width = 50;
  o.height = 30;
  add("progressive_444_odd_size", o);
  o = EncodeOptions{};
  o.components = 1;
  o.progressive = true;
  add("progressive_grey", o);
  o = EncodeOptions{};
  o.restart_interval = 2;
  add("restart_420", o);
  o.sampling = Sampling::k422;
  o.restart_interval = 1;
  o.width = 70;
  add("restart_422", o);
  o = EncodeOptions{};
  o.write_jfif = false;
  o.comment = "corpus comment";
  add("no_jfif_comment", o);
  return corpus;
}

bool decode_with_libjpeg(const std::vector<uint8_t>& jpeg, ReferenceImage& image, bool decode_pixels) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  error.error_exit = throw_error;
  error.emit_message = silence;
  bool ok = true;
  try {
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    image.width = static_cast<int>(info.image_width);
    image.height = static_cast<int>(info.image_height);
    image.components = info.num_components;
    if (decode_pixels) {
      jpeg_start_decompress(&info);
      const size_t stride = static_cast<size_t>(info.output_width) * info.output_components;
      image.pixels.assign(stride * info.output_height, 0);
      while (info.output_scanline < info.output_height) {
        JSAMPROW row = &image.pixels[info.output_scanline * stride];
        jpeg_read_scanlines(&info, &row, 1);
      }
      jpeg_finish_decompress(&info);
    }
  } catch (const LibjpegError&) {
    ok = false;
  }
  jpeg_destroy_decompress(&info);
  return ok;
}
