// The kind-7100 decode pool: per-channel order across workers, newest-wins
// while a channel is busy, the pictures dropped before decoding, closing
// while a worker draws, and the number of workers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "channel_picture.h"
#include "jpeg_decode_pool.h"
#include "tests/display/display_test_support.h"
#include "video_renderer.h"

namespace {

using namespace std::chrono_literals;

// The widths a channel's renderer drew, in order; while `hold` is set the
// drawing worker waits inside the renderer.
struct DrawLog {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<uint32_t> widths;
  bool hold = false, holding = false;

  static void CALLBACK Record(HDC, uint32_t* size, void* context) {
    auto& log = *static_cast<DrawLog*>(context);
    std::unique_lock<std::mutex> lock(log.mutex);
    log.widths.push_back(size[0]);
    log.holding = log.hold;
    log.changed.notify_all();
    log.changed.wait(lock, [&] { return !log.hold; });
    log.holding = false;
  }
  bool WaitFor(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, 5s, done);
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    hold = false;
    changed.notify_all();
  }
};

struct Channel {
  explicit Channel(int index) : window(index * 70, 0, 64, 64) {
    renderer.Initialize();
    renderer.Configure(window.handle(), 64, 64, kFormatRgb);
    renderer.SetDrawCallback(&DrawLog::Record, &log);
  }
  display_test::TestWindow window;
  VideoRenderer renderer;
  DrawLog log;
};

// A requested picture whose width (16 + `number`) tells which one it is.
void Send(JpegDecodePool& pool, int channel, int number, bool requested = true) {
  std::vector<uint8_t> rgb(size_t(16 + number) * 8 * 3, 0x80);
  std::vector<uint8_t> packet = vkt::devsim::encodeJpeg(rgb.data(), 16 + number, 8);
  packet[kPictureChannelByte] = uint8_t(channel);
  if (requested) pool.NoteRequest(1u << channel);
  pool.Submit(packet.data(), uint32_t(packet.size()));
}

// Opens channel 0 and has a worker hold its first picture in the renderer.
void HoldFirstPicture(JpegDecodePool& pool, Channel& channel) {
  pool.OpenChannel(0, &channel.renderer);
  channel.log.hold = true;
  Send(pool, 0, 0);
  ASSERT_TRUE(channel.log.WaitFor([&] { return channel.log.holding; }));
}

// Four channels on four workers: each channel's pictures are drawn in the
// order they came (some may be skipped for newer ones), the last one always.
TEST(JpegDecodePool, EachChannelKeepsItsOrderAcrossWorkers) {
  std::vector<std::unique_ptr<Channel>> channels;
  JpegDecodePool pool(4);
  for (int c = 0; c < 4; ++c) {
    channels.push_back(std::make_unique<Channel>(c));
    pool.OpenChannel(c, &channels[c]->renderer);
  }
  constexpr int kPictures = 40;
  for (int number = 0; number < kPictures; ++number)
    for (int c = 0; c < 4; ++c) Send(pool, c, number);
  for (int c = 0; c < 4; ++c) {
    DrawLog& log = channels[c]->log;
    ASSERT_TRUE(log.WaitFor([&] { return !log.widths.empty() && log.widths.back() == 16 + kPictures - 1; }));
    for (size_t i = 1; i < log.widths.size(); ++i) EXPECT_LT(log.widths[i - 1], log.widths[i]) << "channel " << c;
  }
  pool.Shutdown();  // the last counts are in
  for (int c = 0; c < 4; ++c) EXPECT_EQ(pool.Counts(c).decoded + pool.Counts(c).replaced, uint64_t{kPictures});
}

// While a channel's picture is drawn, a flood of newer ones leaves only the
// newest waiting; the others are dropped undecoded and counted. A second
// worker, idle (another channel is open) and given time to take the first
// of them, leaves it waiting too: one worker at a time per channel.
TEST(JpegDecodePool, TheNewestPictureWinsWhileTheChannelIsBusy) {
  Channel channel(0), other(1);
  JpegDecodePool pool(2);
  pool.OpenChannel(1, &other.renderer);
  HoldFirstPicture(pool, channel);
  for (int number = 1; number <= 50; ++number) {
    Send(pool, 0, number);
    if (number == 1) std::this_thread::sleep_for(50ms);
  }
  channel.log.Release();
  ASSERT_TRUE(channel.log.WaitFor([&] { return channel.log.widths == std::vector<uint32_t>{16, 16 + 50}; }));
  EXPECT_EQ(pool.Counts(0).replaced, 49u);
  EXPECT_EQ(pool.Counts(0).DroppedBeforeDecoding(), 49u);
}

// The observer hears of each picture of an open channel: shown, or lost
// when the decoder refuses it or its window is gone; the counts say the same.
TEST(JpegDecodePool, TheObserverHearsOfPicturesShownAndLost) {
  struct Heard : JpegPoolObserver {
    void PictureShown(int, uint32_t width, uint32_t) override { shownWidths.push_back(width); }
    void PicturesLost(int, uint32_t count) override { lost += count; }
    std::vector<uint32_t> shownWidths;
    std::atomic<uint32_t> lost{0};
  } heard;
  Channel channel(0);
  JpegDecodePool pool(1, &heard);
  pool.OpenChannel(0, &channel.renderer);
  Send(pool, 0, 4);
  ASSERT_TRUE(channel.log.WaitFor([&] { return !channel.log.widths.empty(); }));
  std::vector<uint8_t> cut = vkt::devsim::encodeJpeg(std::vector<uint8_t>(16 * 8 * 3).data(), 16, 8);
  cut.resize(40);  // the headers end before the frame
  cut[kPictureChannelByte] = 0;
  pool.NoteRequest(1);
  pool.Submit(cut.data(), uint32_t(cut.size()));
  const auto waitForLost = [&](uint32_t count) {
    for (int wait = 0; wait < 500 && heard.lost < count; ++wait) std::this_thread::sleep_for(10ms);
  };
  waitForLost(1);
  channel.window.Destroy();
  Send(pool, 0, 5);
  waitForLost(2);
  pool.Shutdown();
  EXPECT_EQ(heard.shownWidths, std::vector<uint32_t>{20});
  EXPECT_EQ(heard.lost, 2u);
  const ChannelPictureCounts counts = pool.Counts(0);
  EXPECT_EQ(counts.shown, 1u);
  EXPECT_EQ(counts.decoded, 2u);
  EXPECT_EQ(counts.failed, 1u);
}

// Pictures nobody asked for are dropped before decoding: a closed channel,
// no request outstanding, more pictures than the requests allow.
TEST(JpegDecodePool, UnrequestedPicturesAreDroppedUndecoded) {
  const struct {
    bool open;
    int requests, pictures;
    uint64_t unwanted;
  } cases[] = {{false, 3, 3, 3}, {true, 0, 2, 2}, {true, 1, 1, 0}, {true, 2, 3, 1}, {true, 10, 6, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "open " << c.open << " requests " << c.requests << " pictures " << c.pictures);
    Channel channel(0);
    JpegDecodePool pool(1);
    if (c.open) pool.OpenChannel(0, &channel.renderer);
    channel.log.hold = true;  // nothing is drawn while the counts are read
    for (int r = 0; r < c.requests; ++r) pool.NoteRequest(1);
    for (int p = 0; p < c.pictures; ++p) Send(pool, 0, 0, false);
    EXPECT_EQ(pool.Counts(0).unwanted, c.unwanted);
    EXPECT_EQ(pool.Counts(0).received, uint64_t(c.pictures));
    channel.log.Release();
  }
}

// A channel is asked for pictures while none waits and fewer than four
// requests are unanswered; unanswered ones count as lost after 100 ticks.
TEST(JpegDecodePool, RequestsFollowTheWorkersAndTheDevice) {
  Channel channel(0);
  JpegDecodePool pool(1);
  HoldFirstPicture(pool, channel);  // answered its request
  EXPECT_EQ(pool.ChannelsReadyForPictures(0x3), 0x1u);
  Send(pool, 0, 1);  // waits
  EXPECT_EQ(pool.ChannelsReadyForPictures(0x1), 0u);
  channel.log.Release();
  ASSERT_TRUE(channel.log.WaitFor([&] { return channel.log.widths.size() == 2; }));
  for (int r = 0; r < 4; ++r) pool.NoteRequest(1);
  for (int tick = 0; tick < 100; ++tick) ASSERT_EQ(pool.ChannelsReadyForPictures(0x1), 0u) << tick;
  EXPECT_EQ(pool.ChannelsReadyForPictures(0x1), 0x1u);
}

// Closing a channel while its picture is drawn returns only once the
// drawing ended; nothing is drawn into it afterwards.
TEST(JpegDecodePool, CloseWaitsForTheDrawingWorker) {
  Channel channel(0);
  JpegDecodePool pool(2);
  HoldFirstPicture(pool, channel);
  Send(pool, 0, 1);  // waits, and goes with the channel
  std::atomic<bool> released{false};
  std::thread releaser([&] { std::this_thread::sleep_for(100ms), released = true, channel.log.Release(); });
  pool.CloseChannel(0);
  EXPECT_TRUE(released);
  releaser.join();
  Send(pool, 0, 2);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(channel.log.WaitFor([&] { return channel.log.widths == std::vector<uint32_t>{16}; }));
  EXPECT_EQ(pool.Counts(0).unwanted, 2u);
}

// One worker per open channel up to the cap; surplus workers end when
// channels close, and all of them at shutdown.
TEST(JpegDecodePool, WorkersFollowTheOpenChannelsUpToTheCap) {
  std::vector<std::unique_ptr<Channel>> channels;
  for (int c = 0; c < 6; ++c) channels.push_back(std::make_unique<Channel>(c));
  JpegDecodePool pool(4);
  // Channels 0..open-1 open, the rest closed.
  const struct { int open; unsigned workers; } steps[] = {{1, 1}, {3, 3}, {6, 4}, {2, 2}, {0, 0}, {5, 4}};
  for (const auto& step : steps) {
    for (int c = 0; c < 6; ++c) c < step.open ? pool.OpenChannel(c, &channels[c]->renderer) : pool.CloseChannel(c);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (pool.Workers() != step.workers && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    EXPECT_EQ(pool.Workers(), step.workers) << step.open << " channels open";
  }
  pool.Shutdown();
  EXPECT_EQ(pool.Workers(), 0u);
}

}  // namespace
