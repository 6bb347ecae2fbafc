// Pictures for the application through the exported functions, against the
// simulator of each kind: every picture reaches the channel's callback on
// the decoding thread before it is drawn, SDK calls from inside are
// refused, closing waits for a callback under way and none follows, and
// the snapshot files hold the last picture (the device's own bytes for a
// kind-7100 .jpg).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "jpeg_frame_path.h"
#include "tests/common/devsim_process.h"
#include "tests/display/display_test_support.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Pump(int ms) {
  const DWORD start = timeGetTime();
  while (timeGetTime() - start < DWORD(ms)) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

// What the callbacks saw: 'P' for a picture, 'D' for a drawing, in order.
struct Log {
  std::mutex mutex;
  std::string order;
  std::vector<uint64_t> sequences;
  Bytes lastPixels;
  uint32_t width = 0, height = 0, stride = 0;
  bool onOwnerThread = false, callRefused = true;
  std::thread::id owner = std::this_thread::get_id();
  std::atomic<bool> inside{false};
  std::atomic<int> calls{0};
  int holdMs = 0;

  static void VKT_CALL Picture(void* handle, const VKT_PICTURE* p, void* user) {
    auto& log = *static_cast<Log*>(user);
    log.inside = true;
    {
      std::lock_guard<std::mutex> hold(log.mutex);
      log.order += 'P';
      log.sequences.push_back(p->sequence);
      log.width = p->width, log.height = p->height, log.stride = p->stride;
      log.lastPixels.assign(p->pixels, p->pixels + size_t{p->stride} * p->height);
      log.onOwnerThread |= std::this_thread::get_id() == log.owner;
      VKT_PICTURE_COUNTS counts{};
      counts.size = sizeof counts;
      void* created = nullptr;
      log.callRefused &= VKT_GetPictureCounts(handle, p->channel, &counts) == VKT_ERR_PARAMETER &&
                         VKT_CreateHandle(VKT_KIND_JPEG, &created) == VKT_ERR_PARAMETER && !created;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(log.holdMs));
    ++log.calls;
    log.inside = false;
  }
  static void VKT_CALL Draw(HDC, uint32_t*, void* user) {
    auto& log = *static_cast<Log*>(user);
    std::lock_guard<std::mutex> hold(log.mutex);
    log.order += 'D';
  }
};

struct Session {
  explicit Session(int kind) : devsim(kind, kind == VKT_KIND_JPEG ? std::vector<std::string>{"--camera"}
                                                                   : std::vector<std::string>{}) {
    EXPECT_EQ(VKT_CreateHandle(kind, &handle), VKT_OK);
    EXPECT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
  }
  ~Session() {
    if (handle) VKT_CloseServer(handle);
  }
  vkt::test::DevsimProcess devsim;
  void* handle = nullptr;
};

struct Row {
  int kind;
  uint32_t reduction;  // 0: into a window
};

class PictureCallback : public testing::TestWithParam<Row> {};

TEST_P(PictureCallback, EveryPictureComesBeforeItsDrawingOnTheDecodingThread) {
  const Row row = GetParam();
  Log log;  // outlives the session, whose close ends the callbacks into it
  Session session(row.kind);
  display_test::TestWindow window(0, 0, 352, 288);
  ASSERT_EQ(VKT_SetPictureCallback(session.handle, 0, Log::Picture, &log), VKT_OK);
  ASSERT_EQ(VKT_SetDrawCallback(session.handle, 0, Log::Draw, &log), VKT_OK);
  ASSERT_EQ(row.reduction ? VKT_OpenChannelWithoutWindow(session.handle, 0, row.reduction)
                          : VKT_OpenChannel(session.handle, 0, window.handle()),
            VKT_OK);
  for (int wait = 0; wait < 600 && log.calls < 10; ++wait) Pump(20);
  ASSERT_EQ(VKT_CloseChannel(session.handle, 0), VKT_OK);
  const int calls = log.calls;
  ASSERT_GE(calls, 10);
  Pump(200);
  EXPECT_EQ(log.calls, calls) << "a picture after the channel closed";

  std::string pairs;
  for (int i = 0; i < calls; ++i) pairs += row.reduction ? "P" : "PD";
  // A close that comes between the last picture's callback and its drawing
  // skips the drawing.
  if (!row.reduction && log.order.size() + 1 == pairs.size()) pairs.pop_back();
  EXPECT_EQ(log.order, pairs);
  EXPECT_FALSE(log.onOwnerThread);
  EXPECT_TRUE(log.callRefused);
  for (size_t i = 1; i < log.sequences.size(); ++i) EXPECT_LT(log.sequences[i - 1], log.sequences[i]);
  // The simulator's pictures are 352x288 and come whole into a window of that size.
  const uint32_t divisor = row.reduction ? row.reduction : 1;
  EXPECT_EQ(log.width, (352 + divisor - 1) / divisor);
  EXPECT_EQ(log.height, (288 + divisor - 1) / divisor);
  EXPECT_EQ(log.stride, log.width * 3);
  // Every picture received has one outcome, none refused; the sizes are the
  // device's and the callback's; a picture drawn is one shown.
  VKT_PICTURE_COUNTS counts{};
  counts.size = sizeof counts;
  ASSERT_EQ(VKT_GetPictureCounts(session.handle, 0, &counts), VKT_OK);
  EXPECT_EQ(counts.received, counts.droppedBeforeDecoding + counts.failed + counts.decoded);
  EXPECT_EQ(counts.failed, 0u);
  EXPECT_EQ(counts.delivered, uint32_t(calls));
  EXPECT_GE(counts.decoded, counts.delivered);
  EXPECT_EQ(counts.shown, uint32_t(std::count(log.order.begin(), log.order.end(), 'D')));
  EXPECT_EQ(std::vector<uint32_t>({counts.width, counts.height, counts.decodedWidth, counts.decodedHeight}),
            std::vector<uint32_t>({352, 288, log.width, log.height}));
  EXPECT_GE(counts.callbackLatencyWorstUs, counts.callbackLatencyMedianUs);
  EXPECT_GT(counts.callbackLatencyMedianUs, 0u);
  EXPECT_GE(counts.blitLatencyWorstUs, counts.blitLatencyMedianUs);
  EXPECT_EQ(counts.blitLatencyMedianUs > 0, row.reduction == 0);

  // The snapshots hold the last picture: the BMP has the callback's pixels
  // (rows bottom first, padded to four bytes); kind 7100's JPEG is the
  // device's, decoding to the same pixels.
  const std::string bmp = testing::TempDir() + "vkt-snapshot-" + std::to_string(getpid()) + ".bmp";
  ASSERT_EQ(VKT_SavePicture(session.handle, 0, bmp.c_str()), VKT_OK);
  const Bytes file = ReadFile(bmp);
  std::remove(bmp.c_str());
  const size_t row_bytes = (log.width * 3 + 3) & ~size_t{3};
  ASSERT_EQ(file.size(), 54 + row_bytes * log.height);
  for (uint32_t y = 0; y < log.height; ++y)
    ASSERT_TRUE(std::equal(log.lastPixels.begin() + y * log.stride, log.lastPixels.begin() + y * log.stride + log.width * 3,
                           file.begin() + 54 + (log.height - 1 - y) * row_bytes))
        << "row " << y;
  const std::string jpg = bmp.substr(0, bmp.size() - 4) + ".jpg";
  if (row.kind == VKT_KIND_H264) {
    EXPECT_EQ(VKT_SavePicture(session.handle, 0, jpg.c_str()), VKT_ERR_NOT_SUPPORTED);
    return;
  }
  ASSERT_EQ(VKT_SavePicture(session.handle, 0, jpg.c_str()), VKT_OK);
  const Bytes jpeg = ReadFile(jpg);
  std::remove(jpg.c_str());
  ASSERT_GT(jpeg.size(), 11u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[kPictureChannelByte] & 0x0F, 0);
  JpegPictureDecoder decoder;
  JpegPicture picture;
  ASSERT_TRUE(decoder.Decode(jpeg.data(), uint32_t(jpeg.size()), kShowFullSize, picture, divisor));
  EXPECT_TRUE(std::equal(log.lastPixels.begin(), log.lastPixels.end(), picture.pixels));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PictureCallback,
                         testing::Values(Row{VKT_KIND_JPEG, 0}, Row{VKT_KIND_JPEG, 1}, Row{VKT_KIND_JPEG, 4},
                                         Row{VKT_KIND_H264, 0}, Row{VKT_KIND_H264, 1}),
                         [](const auto& info) {
                           return std::to_string(info.param.kind) + "_" +
                                  (info.param.reduction ? "reduced" + std::to_string(info.param.reduction) : "window");
                         });

// Closing the channel or the handle while a callback runs waits for it,
// and no callback follows.
TEST(PictureCallbackClose, WaitsForTheCallbackUnderWayAndNoneFollows) {
  for (int kind : {VKT_KIND_JPEG, VKT_KIND_H264}) {
    for (bool closeServer : {false, true}) {
      SCOPED_TRACE(testing::Message() << kind << (closeServer ? " server" : " channel"));
      Log log;  // outlives the session: the reopened channel is still served when the loop ends
      Session session(kind);
      log.holdMs = 100;
      ASSERT_EQ(VKT_SetPictureCallback(session.handle, 0, Log::Picture, &log), VKT_OK);
      ASSERT_EQ(VKT_OpenChannelWithoutWindow(session.handle, 0, 1), VKT_OK);
      for (int wait = 0; wait < 1000 && !log.inside; ++wait) Pump(5);
      ASSERT_TRUE(log.inside);
      EXPECT_EQ(closeServer ? VKT_CloseServer(session.handle) : VKT_CloseChannel(session.handle, 0), VKT_OK);
      if (closeServer) session.handle = nullptr;
      EXPECT_FALSE(log.inside);
      const int calls = log.calls;
      Pump(300);
      EXPECT_EQ(log.calls, calls);
      if (closeServer) continue;
      // Opened again (kind 7100 at half size), the channel is served as
      // before: pictures, in order, at the size asked.
      log.holdMs = 0;
      const size_t seen = log.sequences.size();
      const uint32_t reduction = kind == VKT_KIND_JPEG ? 2 : 1;
      ASSERT_EQ(VKT_OpenChannelWithoutWindow(session.handle, 0, reduction), VKT_OK);
      for (int wait = 0; wait < 600 && log.calls < calls + 5; ++wait) Pump(20);
      EXPECT_GE(log.calls, calls + 5);
      std::lock_guard<std::mutex> hold(log.mutex);
      for (size_t i = seen; i < log.sequences.size(); ++i) EXPECT_LT(log.sequences[i - 1], log.sequences[i]) << i;
      EXPECT_EQ(std::vector<uint32_t>({log.width, log.height}),
                std::vector<uint32_t>({352 / reduction, 288 / reduction}));
    }
  }
}

}  // namespace
