// vkt-pipeline-bench: end-to-end cost of live video through the SDK, as the
// process's CPU time per picture shown, against the bare cost of the same
// decoding work.
//   kind 7100: four channels of camera-like 704x576 JPEGs (vkt-devsim --pictures)
//              against our decoder's mode-3 reads of the same files;
//   kind 7100 at scale: sixteen channels of camera-like 1920x1080 JPEGs in
//              the 320x200 tiles of a 1280x800 grid, on one processor and
//              on all of them, in pictures/s, against the bare reduced
//              reads (the size the tiles show) of the same files;
//   kind 7100 without windows: the same sixteen cameras decoded whole for
//              the picture callback, against the bare whole reads; then one
//              704x576 channel in a window of its size, for its latency;
//   kind 5200: one 704x576 25 fps main-profile H.264 stream
//              (vkt-devsim --h264) against libavcodec decoding plus BGR
//              conversion of the same stream.
// The simulator runs as a child process; only this process's time counts.
// Prints the figures and the ratio against its target (7100 <= 1.3x,
// 5200 <= 1.5x; at scale also >= 400 pictures/s and all processors
// >= 1.8x one; without windows <= 1.1x and >= 280 pictures/s). Not part of ctest: run build/bin/vkt-pipeline-bench
// (no options but --help and --version).
#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <ddraw.h>
#include <windows.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "camera_scene.h"
#include "channel_picture.h"
#include "common/tool_usage.h"
#include "tests/common/devsim_process.h"
#include "tests/common/h264_test_encoder.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_pictures.h"
#include "vktjpeg.h"
#include "yuv_to_bgr.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSeconds = 8;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

using vkt::devsim::cameraSceneSample;

std::vector<uint8_t> CameraJpeg(int width, int height, int frame) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) rgb[(size_t(y) * width + x) * 3 + c] = cameraSceneSample(x, y, c, frame);
  return vkt::devsim::encodeJpeg(rgb.data(), width, height);
}

// `frames` pictures at 25 fps, main profile, one key picture every 50.
std::vector<uint8_t> CameraH264(int width, int height, int frames) {
  return vkt::test::encodeH264({width, height, 50, "veryfast", "zerolatency"}, frames,
                               [&](int n, uint8_t* const planes[3], const int strides[3]) {
                                 for (int plane = 0; plane < 3; ++plane)
                                   for (int y = 0; y < (plane ? height / 2 : height); ++y)
                                     for (int x = 0; x < (plane ? width / 2 : width); ++x)
                                       planes[plane][y * strides[plane] + x] =
                                           plane ? uint8_t(128 + (cameraSceneSample(x, y, plane, n) - 128) / 4)
                                                 : cameraSceneSample(x, y, 0, n);
                               });
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Every thread of this process, and those it starts from now on, runs on
// the first `processors` processors it may use (0: all of them).
void UseProcessors(int processors) {
  static cpu_set_t all;
  static const bool saved = sched_getaffinity(0, sizeof all, &all) == 0;
  if (!saved) return;
  cpu_set_t chosen = all;
  if (processors > 0) {
    CPU_ZERO(&chosen);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < processors; ++cpu)
      if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &chosen), ++taken;
  }
  for (const auto& task : fs::directory_iterator("/proc/self/task"))
    sched_setaffinity(std::stoi(task.path().filename().string()), sizeof chosen, &chosen);
}

// Kind 7100's pictures received and dropped before decoding, all channels.
void PrintDroppedPictures(void* handle, int channels) {
  uint64_t received = 0, dropped = 0;
  for (int channel = 0; channel < channels; ++channel) {
    VKT_PICTURE_COUNTS counts{};
    counts.size = sizeof counts;
    if (VKT_GetPictureCounts(handle, uint32_t(channel), &counts) != VKT_OK) return;
    received += counts.received;
    dropped += counts.droppedBeforeDecoding;
    if (channel == 0)
      std::printf("  channel 0 latency over the last second: to the blit %.1f ms median, %.1f ms worst; to the "
                  "callback %.1f ms median\n",
                  counts.blitLatencyMedianUs / 1e3, counts.blitLatencyWorstUs / 1e3, counts.callbackLatencyMedianUs / 1e3);
  }
  std::printf("  %llu pictures received, %llu dropped before decoding\n", (unsigned long long)received,
              (unsigned long long)dropped);
}

// Pictures handed to the picture callback of channels without a window.
std::atomic<unsigned> g_delivered{0};
void VKT_CALL CountPicture(void*, const VKT_PICTURE*, void*) { ++g_delivered; }

// Live video of `channels` channels in windows of width x height for
// kSeconds, on `processors` processors (0: all; the simulator is not
// limited); CPU seconds per picture shown, or -1 when nothing was shown.
// With a `reduction` the channels have no window: their pictures are
// decoded at it for the picture callback, and those handed over count.
double LiveCostPerPicture(int kind, const std::vector<std::string>& devsimArguments, int channels, int width,
                          int height, unsigned& shown, int processors = 0, uint32_t reduction = 0) {
  vkt::test::DevsimProcess devsim(kind, devsimArguments);
  UseProcessors(processors);
  void* handle = nullptr;
  if (devsim.port() == 0 || VKT_CreateHandle(kind, &handle) != VKT_OK) return -1;
  std::vector<HWND> windows;
  double cost = -1;
  if (VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin") == VKT_OK) {
    for (int channel = 0; channel < channels; ++channel) {
      windows.push_back(CreateWindowExA(0, "VktBenchWindow", "bench", WS_OVERLAPPEDWINDOW, 0, 0, width, height,
                                        nullptr, nullptr, nullptr, nullptr));
      if (reduction) {
        VKT_SetPictureCallback(handle, uint32_t(channel), CountPicture, nullptr);
        VKT_OpenChannelWithoutWindow(handle, uint32_t(channel), reduction);
        continue;
      }
      ShowWindow(windows.back(), SW_SHOW);
      VKT_OpenChannel(handle, uint32_t(channel), windows.back());
    }
    // The first second settles connections and decoders; then measure.
    SetTimer(windows.front(), 1, 1000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    PlatformDisplayCounters before{}, after{};
    PlatformGetDisplayCounters(&before);
    const unsigned deliveredBefore = g_delivered;
    const double start = CpuSeconds();
    SetTimer(windows.front(), 1, kSeconds * 1000, nullptr);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    PlatformGetDisplayCounters(&after);
    const double used = CpuSeconds() - start;
    PrintDroppedPictures(handle, channels);
    shown = reduction ? g_delivered - deliveredBefore : after.blits - before.blits;
    if (shown > 0) cost = used / shown;
  }
  VKT_CloseServer(handle);
  for (HWND window : windows) DestroyWindow(window);
  UseProcessors(0);
  return cost;
}

// The live path's reads: one record for every picture, at reduction
// `divisor` (1, 2, 4 or 8).
double BareScaledJpegCost(const std::vector<std::vector<uint8_t>>& pictures, int rounds, uint32_t divisor) {
  const JpegReadMode modes[] = {READ_IMAGE_BUFFER, READ_HALF_BUFFER, READ_QUARTER_BUFFER, READ_EIGHTH_BUFFER};
  const JpegReadMode mode = modes[divisor == 8 ? 3 : divisor / 2];
  std::vector<uint8_t> bgr;
  static JPEG_PROPERTIES p;
  JpegInit(&p);
  int decoded = 0;
  const double start = CpuSeconds();
  for (int round = 0; round < rounds; ++round) {
    for (const std::vector<uint8_t>& jpeg : pictures) {
      p.jpeg_bytes = jpeg.data();
      p.jpeg_size_bytes = uint32_t(jpeg.size());
      if (JpegRead(&p, READ_PARAMS_BUFFER) != JPEG_SUCCESS) continue;
      p.picture_width = (p.jpeg_width + divisor - 1) / divisor;
      p.picture_height = int32_t((p.jpeg_height + divisor - 1) / divisor);
      bgr.resize(size_t(p.picture_width) * uint32_t(p.picture_height) * 3);
      p.picture_bytes = bgr.data();
      decoded += JpegRead(&p, mode) == JPEG_SUCCESS;
    }
  }
  const double cost = decoded ? (CpuSeconds() - start) / decoded : -1;
  JpegFree(&p);
  return cost;
}

double BareJpegCost(const std::vector<std::vector<uint8_t>>& pictures, int rounds) {
  std::vector<uint8_t> bgr;
  const double start = CpuSeconds();
  int decoded = 0;
  for (int round = 0; round < rounds; ++round) {
    for (const std::vector<uint8_t>& jpeg : pictures) {
      static JPEG_PROPERTIES p;
      JpegInit(&p);
      p.jpeg_bytes = jpeg.data();
      p.jpeg_size_bytes = uint32_t(jpeg.size());
      if (JpegRead(&p, READ_PARAMS_BUFFER) == JPEG_SUCCESS) {
        bgr.resize(size_t(p.jpeg_width) * p.jpeg_height * 3);
        p.picture_bytes = bgr.data();
        p.picture_width = p.jpeg_width;
        p.picture_height = int32_t(p.jpeg_height);
        decoded += JpegRead(&p, READ_IMAGE_BUFFER) == JPEG_SUCCESS;
      }
      JpegFree(&p);
    }
  }
  return decoded ? (CpuSeconds() - start) / decoded : -1;
}

double BareH264Cost(const std::vector<uint8_t>& stream, int rounds) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  context->thread_count = 1;
  avcodec_open2(context, codec, nullptr);
  std::vector<uint8_t> bgr;
  std::vector<uint8_t> input(stream);
  input.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  int pictures = 0;
  const double start = CpuSeconds();
  auto receive = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      bgr.resize(size_t(frame->width) * frame->height * 3);
      ConvertYuvToBgr({frame->data[0], frame->data[1], frame->data[2], frame->linesize[0], frame->linesize[1],
                       frame->linesize[2], 1, 1},
                      frame->width, frame->height, frame->color_range == AVCOL_RANGE_JPEG, bgr.data());
      ++pictures;
    }
  };
  for (int round = 0; round < rounds; ++round) {
    const uint8_t* at = input.data();
    int left = int(stream.size());
    while (left > 0) {
      const int used = av_parser_parse2(parser, context, &packet->data, &packet->size, at, left, AV_NOPTS_VALUE,
                                        AV_NOPTS_VALUE, 0);
      at += used;
      left -= used;
      if (packet->size > 0 && avcodec_send_packet(context, packet) == 0) receive();
    }
  }
  avcodec_send_packet(context, nullptr);
  receive();
  const double cost = pictures ? (CpuSeconds() - start) / pictures : -1;
  av_parser_close(parser);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return cost;
}

void Report(const char* kind, double live, unsigned shown, double bare, double target) {
  if (live < 0 || bare < 0) {
    std::printf("%s: no figures (live %.3f ms, bare %.3f ms, %u pictures shown)\n", kind, live * 1e3, bare * 1e3,
                shown);
    return;
  }
  const double ratio = live / bare;
  std::printf("%s: %u pictures shown, %.3f ms CPU per picture shown, bare decode %.3f ms: %.2fx (target <= %.1fx) %s\n",
              kind, shown, live * 1e3, bare * 1e3, ratio, target, ratio <= target ? "met" : "MISSED");
}

const vkt::tools::ToolUsage kPipelineBench = {
    "vkt-pipeline-bench",
    "usage: vkt-pipeline-bench\n"
    "CPU time per picture shown through the SDK against the bare decode of the same content,\n"
    "for kind 7100 (4 channels of 704x576 JPEG) and kind 5200 (704x576 25 fps H.264), about 30 s.\n"};

}  // namespace

int main(int argc, char** argv) {
  if (const auto status = vkt::tools::answerStandardOptions(kPipelineBench, argc, argv)) return *status;
  if (argc > 1) return vkt::tools::usageError(kPipelineBench, "unknown option " + std::string(argv[1]));
  char pattern[] = "/tmp/vkt_pipeline_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = BenchWindowProc;
  windowClass.lpszClassName = "VktBenchWindow";
  RegisterClassA(&windowClass);

  // Camera-sized pictures for both kinds.
  const int width = 704, height = 576;
  std::vector<std::vector<uint8_t>> jpegs;
  fs::create_directory(dir + "/pictures");
  for (int n = 0; n < 8; ++n) {
    jpegs.push_back(CameraJpeg(width, height, n * 5));
    WriteFile(dir + "/pictures/" + std::to_string(n) + ".jpg", jpegs.back());
  }
  unsigned shown = 0;
  const double jpegLive =
      LiveCostPerPicture(VKT_KIND_JPEG, {"--pictures", dir + "/pictures"}, 4, width, height, shown);
  Report("kind 7100, 4 channels of 704x576 JPEG", jpegLive, shown, BareJpegCost(jpegs, 50), 1.3);

  // Sixteen 1920x1080 cameras in the 320x200 tiles of a 1280x800 grid: the
  // tiles show 1/4 reads (1/8 would be 240x135, smaller than a tile).
  std::vector<std::vector<uint8_t>> hd;
  fs::create_directory(dir + "/hd");
  for (int n = 0; n < 8; ++n) {
    hd.push_back(CameraJpeg(1920, 1080, n * 5));
    WriteFile(dir + "/hd/" + std::to_string(n) + ".jpg", hd.back());
  }
  const double bareHd = BareScaledJpegCost(hd, 40, 4);
  const std::vector<std::string> hdArguments = {"--channels", "16", "--pictures", dir + "/hd"};
  unsigned shownOne = 0, shownAll = 0;
  const double liveOne = LiveCostPerPicture(VKT_KIND_JPEG, hdArguments, 16, 320, 200, shownOne, 1);
  Report("kind 7100, 16 channels of 1920x1080 JPEG in 320x200 tiles, 1 processor", liveOne, shownOne, bareHd, 1.3);
  const double liveAll = LiveCostPerPicture(VKT_KIND_JPEG, hdArguments, 16, 320, 200, shownAll);
  Report("kind 7100, 16 channels of 1920x1080 JPEG in 320x200 tiles, all processors", liveAll, shownAll, bareHd, 1.3);
  const double rateOne = double(shownOne) / kSeconds, rateAll = double(shownAll) / kSeconds;
  std::printf("kind 7100 at scale: %.0f pictures/s on 1 processor, %.0f on all (%d): %.2fx (target >= 400/s and "
              ">= 1.8x) %s\n",
              rateOne, rateAll, int(std::thread::hardware_concurrency()), rateOne > 0 ? rateAll / rateOne : 0.0,
              rateAll >= 400 && rateAll >= 1.8 * rateOne ? "met" : "MISSED");

  // The same cameras without windows, whole, through the picture callback.
  const double bareFull = BareScaledJpegCost(hd, 10, 1);
  unsigned delivered = 0;
  const double headless = LiveCostPerPicture(VKT_KIND_JPEG, hdArguments, 16, 320, 200, delivered, 0, 1);
  Report("kind 7100, 16 channels of 1920x1080 JPEG without windows, whole, all processors", headless, delivered,
         bareFull, 1.1);
  std::printf("kind 7100 without windows: %.0f pictures/s through the callback (target >= 280/s) %s\n",
              double(delivered) / kSeconds, delivered >= 280.0 * kSeconds ? "met" : "MISSED");

  // One 704x576 channel in a window of its size: its latency.
  unsigned single = 0;
  LiveCostPerPicture(VKT_KIND_JPEG, {"--pictures", dir + "/pictures"}, 1, width, height, single);

  const std::vector<uint8_t> h264 = CameraH264(width, height, 100);
  WriteFile(dir + "/stream.h264", h264);
  const double h264Live = LiveCostPerPicture(VKT_KIND_H264, {"--h264", dir + "/stream.h264", "--fps", "25"}, 1, width,
                                             height, shown);
  Report("kind 5200, 704x576 25 fps H.264 main", h264Live, shown, BareH264Cost(h264, 3), 1.5);
  fs::remove_all(dir);
  return 0;
}
