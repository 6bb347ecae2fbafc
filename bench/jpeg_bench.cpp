// vkt-jpeg-bench [--cpu KIND] [--picture TEXT] [--read LABEL] [--time MS]
// [FILE...]: decoding speed of our JPEG decoder against libjpeg-turbo in
// the same process, one read at a time. For each picture (the files given,
// or built-in pictures compressed by libjpeg at start): the full read, the
// full read with the triangle filter and with the fast transform, 1/2, 1/4
// and 1/8, the centre 256x256 region on a fresh record, and the same
// region again on the record of the previous read. Every read but the last
// takes the next of eight copies of the picture that differ in a comment
// segment. Prints the best processor time of each as milliseconds, our
// output Mpixels/s and the ratio ours / turbo, after a line naming the
// processor kind in use. --cpu forces a kind (0..7, or generic, sse2,
// avx2) through "USECPU"; --picture keeps the pictures whose name contains
// TEXT and --read the read labelled LABEL (or, when none is, the reads
// whose label starts with it), so that a profiler sees one case, and --time sets how long each read is repeated
// (300 ms by default).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bench_reads.h"
#include "common/parse_number.h"
#include "common/tool_usage.h"
#include "jpeg_corpus.h"
#include "jpeg_record.h"
#include "processor_dispatch.h"

namespace {

struct Picture {
  std::string name;
  std::vector<uint8_t> jpeg;
};

// Copies of a picture that differ in a comment segment after SOI, as a
// camera's pictures differ from one to the next, so that no timed read
// meets the bytes of the read before it (and nothing the decoder keeps
// from the same bytes helps).
constexpr int kFreshCopies = 8;
std::vector<std::vector<uint8_t>> fresh_copies(const std::vector<uint8_t>& jpeg) {
  std::vector<std::vector<uint8_t>> copies;
  for (int copy = 0; copy < kFreshCopies && jpeg.size() >= 2; ++copy) {
    const uint8_t comment[] = {0xFF, 0xFE, 0x00, 0x04, 'c', static_cast<uint8_t>('0' + copy)};
    std::vector<uint8_t>& bytes = copies.emplace_back(jpeg.begin(), jpeg.begin() + 2);
    bytes.insert(bytes.end(), std::begin(comment), std::end(comment));
    bytes.insert(bytes.end(), jpeg.begin() + 2, jpeg.end());
  }
  return copies;
}

// Colour bars over a grey step wedge with a thin cross in the middle:
// flat areas and a few sharp edges, RGB.
std::vector<uint8_t> test_card(int width, int height) {
  static const uint8_t bars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                     {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      const bool cross = x == width / 2 || y == height / 2;
      const uint8_t wedge = static_cast<uint8_t>(16 + (x * 8 / width) * 31);
      for (int c = 0; c < 3; ++c) p[c] = cross ? 255 : y < height * 2 / 3 ? bars[x * 8 / width][c] : wedge;
    }
  }
  return pixels;
}

// Smooth colour fields with fine grain on top, as a photograph has: most
// coefficients of a block carry something, RGB.
std::vector<uint8_t> textured(int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 2463534242u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double field[3] = {128 + 90 * std::sin(7 * u + 3 * v), 128 + 80 * std::cos(5 * v - 4 * u * v),
                               128 + 70 * std::sin(11 * u * v + 2)};
      const int grain = static_cast<int>(noise % 41) - 20;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(static_cast<int>(field[c]) + grain, 0, 255));
    }
  }
  return pixels;
}

// Only the pictures whose name contains `filter` are made.
std::vector<Picture> builtin_pictures(const std::string& filter) {
  struct Case {
    int width, height, components, quality;
    Sampling sampling;
    bool progressive;
    int restart_interval;
    const char* name;
  };
  // Camera sizes in every sampling, a restart interval of one MCU row, odd
  // sizes whose edge MCUs are partly outside the picture, and 12 MP.
  const Case cases[] = {
      {352, 288, 3, 85, Sampling::k420, false, 0, "352x288 4:2:0"},
      {704, 576, 3, 85, Sampling::k420, false, 0, "704x576 4:2:0"},
      {1920, 1080, 3, 85, Sampling::k420, false, 0, "1920x1080 4:2:0"},
      {1920, 1080, 3, 85, Sampling::k422, false, 0, "1920x1080 4:2:2"},
      {1920, 1080, 3, 85, Sampling::k444, false, 0, "1920x1080 4:4:4"},
      {1920, 1080, 1, 85, Sampling::k420, false, 0, "1920x1080 grey"},
      {1920, 1080, 3, 85, Sampling::k420, true, 0, "1920x1080 4:2:0 progressive"},
      {1920, 1080, 3, 85, Sampling::k420, false, 120, "1920x1080 4:2:0 restart/row"},
      {1917, 1079, 3, 85, Sampling::k420, false, 0, "1917x1079 4:2:0"},
      {1917, 1079, 1, 85, Sampling::k420, false, 0, "1917x1079 grey"},
      {4000, 3000, 3, 85, Sampling::k420, false, 0, "4000x3000 4:2:0"},
  };
  std::vector<Picture> pictures;
  const auto wanted = [&filter](const std::string& name) { return name.find(filter) != std::string::npos; };
  for (const Case& c : cases) {
    if (!wanted(std::string(c.name) + " q85")) continue;
    EncodeOptions options;
    options.width = c.width;
    options.height = c.height;
    options.components = c.components;
    options.quality = c.quality;
    options.sampling = c.sampling;
    options.progressive = c.progressive;
    options.restart_interval = c.restart_interval;
    pictures.push_back({std::string(c.name) + " q85", encode_jpeg(options)});
  }
  // A flat test card, where fixed costs per read weigh most, and pictures
  // with a photograph's texture (most coefficients set) at camera and 12 MP
  // sizes.
  const auto add = [&](const char* name, int width, int height, int quality, auto make_pixels) {
    if (!wanted(name)) return;
    EncodeOptions options;
    options.width = width;
    options.height = height;
    options.quality = quality;
    pictures.push_back({name, encode_pixels(options, make_pixels(width, height))});
  };
  add("352x288 4:2:0 test card q85", 352, 288, 85, test_card);
  add("1920x1080 4:2:0 textured q90", 1920, 1080, 90, textured);
  add("4000x3000 4:2:0 textured q90", 4000, 3000, 90, textured);
  return pictures;
}

// False with the system's reason when the file cannot be read.
bool load_file(const char* path, Picture& picture, std::string& reason) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (file) {
    picture.name = path;
    picture.jpeg.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  if (!file.bad() && file.is_open()) return true;
  reason = errno ? std::strerror(errno) : "read error";
  return false;
}

// Milliseconds of processor time of one call on this thread: time the
// thread waits for a core on a busy machine is not counted.
template <typename Read>
double milliseconds(Read read) {
  timespec start{}, end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  read();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
}

class Bench {
 public:
  explicit Bench(double budget_ms) : record_(std::make_unique<JPEG_PROPERTIES>()), budget_ms_(budget_ms) {}

  // The kind a record gets, as JpegInit detects or is forced to it.
  ProcessorKind processor_kind() {
    JpegInit(record_.get());
    const ProcessorKind kind = state_of(*record_).processor_kind;
    JpegFree(record_.get());
    return kind;
  }

  // Best of alternating rounds of ours and turbo, until the budget has
  // passed (at least 3 rounds).
  bool run(const Picture& picture, const char* label, const BenchRead& read) {
    double ours = 1e30, turbo = 1e30, spent = 0;
    const std::vector<std::vector<uint8_t>> copies = fresh_copies(picture.jpeg);
    // A record kept across reads has read this picture once before the
    // timed reads; the others are set up afresh, untimed, for each read.
    JpegInit(record_.get());
    // The size comes from a libjpeg header read, which must not count as ours;
    // the copies differ only in a comment.
    const ImageSize size = jpeg_size(picture.jpeg);
    bool ok = !read.same_record || read_ours(*record_, picture.jpeg, size, read, ours_picture_);
    for (int round = 0; round < 3 || (spent < budget_ms_ && round < 200 * (1 + static_cast<int>(budget_ms_ / 300))); ++round) {
      if (!read.same_record && round > 0) {
        JpegFree(record_.get());
        JpegInit(record_.get());
      }
      // A read on a kept record takes the same bytes again, as it means to.
      const std::vector<uint8_t>& jpeg =
          read.same_record || copies.empty() ? picture.jpeg : copies[static_cast<size_t>(round) % copies.size()];
      const double time = milliseconds([&] { ok &= read_ours(*record_, jpeg, size, read, ours_picture_); });
      const double turbo_time = milliseconds([&] { ok &= read_turbo(jpeg, read, turbo_picture_); });
      if (!ok) break;
      ours = std::min(ours, time);
      turbo = std::min(turbo, turbo_time);
      spent += time + turbo_time;
    }
    JpegFree(record_.get());
    if (!ok) {
      std::printf("%-34s %-14s read failed\n", picture.name.c_str(), label);
      return false;
    }
    const double mpixels = static_cast<double>(output_pixels(size, read)) / (ours * 1000);
    std::printf("%-34s %-14s %10.3f %10.3f %9.1f %7.2f\n", picture.name.c_str(), label, ours, turbo, mpixels,
                ours / turbo);
    return true;
  }

 private:
  std::unique_ptr<JPEG_PROPERTIES> record_;
  std::vector<uint8_t> ours_picture_, turbo_picture_;
  double budget_ms_;
};

const char* members_of(SimdLevel level) {
  switch (level) {
    case SimdLevel::kAvx2: return "AVX2 members";
    case SimdLevel::kSse2: return "SSE2 members";
    default: return "portable members";
  }
}

// The processor kind named by `text` (0..7, generic, sse2, avx2); -1 for
// anything else.
int cpu_kind_of(const char* text) {
  if (std::strcmp(text, "generic") == 0) return CPU_GENERIC;
  if (std::strcmp(text, "sse2") == 0) return CPU_FAMILY15_SSE2;
  if (std::strcmp(text, "avx2") == 0) return CPU_AVX2;
  if (text[0] >= '0' && text[0] <= '7' && text[1] == '\0') return text[0] - '0';
  return -1;
}

// Points the registry at a file holding USECPU = kind; returns its path.
std::string force_cpu_kind(int kind) {
  const std::string registry_path = "/tmp/vkt-jpeg-bench-registry-" + std::to_string(static_cast<long>(getpid()));
  std::ofstream(registry_path) << "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\" << kCpuOverrideKey
                               << "]\n\"" << kCpuOverrideValue << "\"=dword:0000000" << kind << "\n";
  setenv("VKT_REGISTRY_FILE", registry_path.c_str(), 1);
  return registry_path;
}

struct Line {
  const char* label;
  BenchRead read;
};
const Line kLines[] = {
    {"full", {1, false, false, false}},         {"full triangle", {1, false, false, true}},
    {"full fast", {1, false, false, false, true}},
    {"1/2", {2, false, false, false}},          {"1/4", {4, false, false, false}},
    {"1/8", {8, false, false, false}},          {"region fresh", {1, true, false, false}},
    {"region again", {1, true, true, false}},
};

// "full" names the plain full read alone, not the two whose label it begins.
bool selects(const char* label, const char* filter) {
  const bool exact = std::any_of(std::begin(kLines), std::end(kLines),
                                 [&](const Line& line) { return std::strcmp(line.label, filter) == 0; });
  return exact ? std::strcmp(label, filter) == 0 : std::strncmp(label, filter, std::strlen(filter)) == 0;
}

bool names_a_read(const char* filter) {
  return std::any_of(std::begin(kLines), std::end(kLines), [&](const Line& line) { return selects(line.label, filter); });
}

const vkt::tools::ToolUsage kJpegBench = {
    "vkt-jpeg-bench",
    "usage: vkt-jpeg-bench [--cpu KIND] [--picture TEXT] [--read LABEL] [--time MS] [FILE...]\n"
    "KIND: 0..7, generic, sse2 or avx2; LABEL is or starts one of: full, full triangle, full fast, 1/2, 1/4, 1/8,\n"
    "region fresh, region again; MS: 1 to 600000 (300 by default).\n"};

// libjpeg-turbo allocates its buffers afresh on every read. Served from
// fresh mappings, each read would also pay for the kernel zeroing pages, by
// an amount that follows glibc's sliding mapping threshold and so the order
// of the reads (a progressive photograph took 27 or 69 ms). Keep every
// allocation on a heap that is never trimmed: turbo reuses warm memory, as
// our record does, and no figure depends on what was read before.
void keep_allocations_warm() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT32_MAX);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using vkt::tools::usageError;
  keep_allocations_warm();
  if (const auto status = vkt::tools::answerStandardOptions(kJpegBench, argc, argv)) return *status;
  std::vector<Picture> pictures;
  int cpu_kind = -1;
  const char* picture_filter = "";
  const char* read_filter = "";
  double budget_ms = 300;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takes_value = arg == "--cpu" || arg == "--picture" || arg == "--read" || arg == "--time";
    if (takes_value && i + 1 == argc) return usageError(kJpegBench, "missing value after " + std::string(arg));
    if (arg == "--cpu") {
      cpu_kind = cpu_kind_of(argv[++i]);
      if (cpu_kind < 0) return usageError(kJpegBench, "unknown processor kind " + std::string(argv[i]));
    } else if (arg == "--picture") {
      picture_filter = argv[++i];
    } else if (arg == "--read") {
      read_filter = argv[++i];
      if (!names_a_read(read_filter)) return usageError(kJpegBench, "no read is labelled " + std::string(read_filter));
    } else if (arg == "--time") {
      if (!vkt::tools::parseNumber(std::string_view(argv[++i]), 1.0, 600000.0, budget_ms))
        return usageError(kJpegBench, "--time takes milliseconds from 1 to 600000");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError(kJpegBench, "unknown option " + std::string(arg));
    } else {
      Picture picture;
      std::string reason;
      if (!load_file(argv[i], picture, reason)) {
        std::fprintf(stderr, "vkt-jpeg-bench: %s: %s\n", argv[i], reason.c_str());
        return 1;
      }
      pictures.push_back(std::move(picture));
    }
  }
  if (pictures.empty()) pictures = builtin_pictures(picture_filter);
  if (std::none_of(pictures.begin(), pictures.end(),
                   [&](const Picture& picture) { return picture.name.find(picture_filter) != std::string::npos; }))
    return usageError(kJpegBench, "no picture is named with " + std::string(picture_filter));
  // The options are sound: only now leave a file behind to remove.
  const std::string registry_path = cpu_kind >= 0 ? force_cpu_kind(cpu_kind) : "";

  int failures = 0;
  {
    Bench bench(budget_ms);
    const ProcessorKind kind = bench.processor_kind();
    std::printf("processor kind %d (%s)\n", static_cast<int>(kind),
                members_of(simd_level_of(kind, current_processor_info())));
    std::printf("each read takes the next of %d copies that differ in a comment segment; \"region again\" reads\n"
                "the bytes its record read last\n", kFreshCopies);
    std::printf("%-34s %-14s %10s %10s %9s %7s\n", "picture", "read", "ours ms", "turbo ms", "Mpixel/s", "ratio");
    for (const Picture& picture : pictures) {
      if (picture.name.find(picture_filter) == std::string::npos) continue;
      for (const Line& line : kLines) {
        if (!selects(line.label, read_filter)) continue;
        failures += bench.run(picture, line.label, line.read) ? 0 : 1;
      }
    }
  }
  if (!registry_path.empty()) std::remove(registry_path.c_str());
  return failures == 0 ? 0 : 1;
}
