// The kind-5200 session: its stream handling on blocks made by the
// simulator's encoder, and the whole device conversation against the
// simulator over TCP: handshake and refusals, channels, the device time,
// live pictures drawn with the overlay, and recording.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/display/display_test_support.h"
#include "h264_device_session.h"
#include "h264_stream.h"
#include "recording_reader.h"
#include "stream_parser.h"
#include "test_pattern.h"
#include "tests/common/devsim_process.h"
#include "tests/common/message_pump.h"
#include "video_renderer.h"

using Bytes = std::vector<uint8_t>;
using vkt::test::DevsimProcess;

namespace {

// Counts the pictures the decoder hands back and keeps the blocks received.
class ObservedSession : public H264DeviceSession {
 public:
  ~ObservedSession() override { Close(); }  // the decoding thread ends while this part lives
  int32_t OnPicture(const DecodedPicture* picture) override {
    ++reachedGate;
    std::lock_guard<std::mutex> slowDecoder(decoderGate);  // a test holds it to stall the decoding thread
    ++pictures;
    return H264DeviceSession::OnPicture(picture);
  }
  VktResult OnData(void* data, uint32_t length) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (keepBlocks) blocks.emplace_back(bytes, bytes + length);
    return H264DeviceSession::OnData(data, length);
  }
  std::mutex decoderGate;
  std::atomic<int> pictures = 0, reachedGate = 0;
  bool keepBlocks = false;
  std::vector<Bytes> blocks;
};

std::unique_ptr<ObservedSession> NewSession() {
  auto session = std::make_unique<ObservedSession>();
  session->CreateMessageWindow();
  return session;
}

using vkt::test::PumpFor;
using vkt::test::PumpUntil;

// A session logged in to a simulated kind-5200 device, channel 0 open in a
// window of its own.
struct LiveSession {
  explicit LiveSession(std::vector<std::string> arguments) : device(5200, std::move(arguments)) {}
  void Open() {
    ASSERT_NE(device.port(), 0);
    ASSERT_EQ(session->Connect("127.0.0.1", device.port(), "admin", "admin"), VKT_OK);
    ASSERT_EQ(session->OpenChannel(0, window.handle()), VKT_OK);
  }
  DevsimProcess device;
  display_test::TestWindow window{0, 0, 360, 300};
  std::unique_ptr<ObservedSession> session = NewSession();
};

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The blocks received from the first header on, back to back: what a
// recording holds apart from its segment lengths.
Bytes FromFirstHeader(const std::vector<Bytes>& blocks) {
  Bytes joined;
  bool started = false;
  for (const Bytes& block : blocks) {
    started = started || StartsWithRvdx(block.data(), block.size());
    if (started) joined.insert(joined.end(), block.begin(), block.end());
  }
  return joined;
}

uint32_t Le32At(const Bytes& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (uint32_t(bytes[at + 3]) << 24);
}

// A session fed by hand: channel 0 open without a device, and a real
// decoder registered as Connect would.
class OfflineSession : public ::testing::Test {
 protected:
  void SetUp() override { Restart(); }
  // A new session on a new stream.
  void Restart() {
    encoder_ = std::make_unique<vkt::devsim::H264StreamEncoder>();
    ASSERT_TRUE(encoder_->open(5));
    session_ = NewSession();
    session_->serverInfo.channelCount = 1;
    // No transport: the start packet cannot go, but the channel state is set.
    EXPECT_EQ(session_->OpenChannel(0, window_.handle()), VKT_ERR_TRANSPORT);
    session_->videoDecoder = CODECAPI_DecodeInit(2, 8, session_->window, 0, 1);
    CODECAPI_SetCallBack(session_->videoDecoder, static_cast<PictureSink*>(session_.get()), DecoderPictureCallback, 0);
  }
  Bytes NextBlock() {
    Bytes block;
    EXPECT_TRUE(encoder_->nextBlock(block));
    return block;
  }
  // Hands the block over and waits for its pictures, which come back on
  // the session's decoding thread.
  void Feed(Bytes block) {
    session_->OnData(block.data(), uint32_t(block.size()));
    session_->videoFeed.WaitUntilIdle();
  }

  display_test::TestWindow window_{0, 0, 400, 340};
  std::unique_ptr<vkt::devsim::H264StreamEncoder> encoder_;
  std::unique_ptr<ObservedSession> session_;
};

Bytes Be32(size_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

// The units of a video payload, length prefixes dropped.
std::vector<Bytes> UnitsOf(const uint8_t* payload, size_t size) {
  std::vector<Bytes> units;
  for (size_t at = 0; at + 4 <= size;) {
    const size_t length = size_t{payload[at]} << 24 | payload[at + 1] << 16 | payload[at + 2] << 8 | payload[at + 3];
    if (length > size - at - 4) break;
    units.emplace_back(payload + at + 4, payload + at + 4 + length);
    at += 4 + length;
  }
  return units;
}

// A header block of the simulator's stream, its sequence parameter set
// grown by `padding` zero bytes (trailing zeros a decoder ignores). The
// sets stay in the header's parameter area, or, with `inBand`, move in
// front of the key frame's own units and the area is left empty.
Bytes WithLargerSps(const Bytes& block, size_t padding, bool inBand) {
  const size_t areaLength = block[kRvdxParameterLengthOffset];
  const uint8_t* area = block.data() + kRvdxHeaderSize - areaLength;
  Bytes sets;
  for (Bytes unit : UnitsOf(area + kQboxHeaderSize, areaLength - kQboxHeaderSize)) {
    if ((unit[0] & 0x1F) == 7) unit.resize(unit.size() + padding, 0);
    const Bytes length = Be32(unit.size());
    sets.insert(sets.end(), length.begin(), length.end());
    sets.insert(sets.end(), unit.begin(), unit.end());
  }
  Bytes newArea;
  if (!inBand) vkt::devsim::appendQbox(newArea, 2, 1, kSampleFlagKeyFrame, 0, sets);
  Bytes out = vkt::devsim::makeRvdxHeader(newArea, 0);
  const uint8_t* body = block.data() + kRvdxHeaderSize;
  const size_t bodyLength = block.size() - kRvdxHeaderSize;
  QboxHeader first{};
  EXPECT_TRUE(ReadQboxHeader(body, bodyLength, &first));
  size_t keep = 0;
  if (inBand) {
    Bytes payload = sets;
    payload.insert(payload.end(), body + kQboxHeaderSize, body + first.boxSize);
    vkt::devsim::appendQbox(out, first.streamType, first.boxFlags, first.sampleFlags, first.timeStamp, payload);
    keep = first.boxSize;
  }
  out.insert(out.end(), body + keep, body + bodyLength);
  return out;
}

}  // namespace

TEST_F(OfflineSession, DecodesFromTheFirstKeyFrameWithParameterSetsOnce) {
  Bytes key = NextBlock();  // frame 0: header, key frame
  ASSERT_TRUE(StartsWithRvdx(key.data(), key.size()));
  // A header without parameter sets drops its whole block.
  Bytes noSets = key;
  noSets[kRvdxParameterLengthOffset] = 0;
  Feed(noSets);
  EXPECT_EQ(session_->parameterSetsExtracted, 0);
  EXPECT_EQ(session_->pictures, 0);
  // Boxes without a header before the first key frame are dropped.
  Bytes early = NextBlock();
  Feed(early);
  EXPECT_EQ(session_->keyFrameSeen, 0);
  EXPECT_EQ(session_->pictures, 0);
  // A header block one byte short of a header is dropped; one of exactly a
  // header's size (no boxes after it) takes the parameter sets.
  Feed(Bytes(key.begin(), key.begin() + kRvdxHeaderSize - 1));
  EXPECT_EQ(session_->parameterSetsExtracted, 0);
  Feed(Bytes(key.begin(), key.begin() + kRvdxHeaderSize));
  EXPECT_EQ(session_->parameterSetsExtracted, 1);
  EXPECT_EQ(session_->pictures, 0);

  Feed(key);
  EXPECT_EQ(session_->parameterSetsExtracted, 1);
  EXPECT_EQ(session_->prefixPending, 0);
  EXPECT_EQ(session_->keyFrameSeen, 1);
  EXPECT_EQ(session_->pictures, 1);
  // Every later video box decodes, key frame or not; audio boxes are passed over.
  for (int i = 0; i < 8; ++i) Feed(NextBlock());
  EXPECT_EQ(session_->pictures, 9);
  ASSERT_NE(session_->renderers[0], nullptr);
}

// A header's parameter area ends at the header's end and may not reach
// back over its own length byte (offset 400), so it holds at most 111
// bytes. High-profile streams carry larger sequence parameter sets in band,
// in the key frame, behind a header with an empty area: those streams are
// decoded, and recorded from their first header on, as are streams whose
// sets fit the area.
TEST_F(OfflineSession, LargeParameterSetsDecodeAndRecord) {
  const struct {
    const char* name;
    size_t padding;
    bool inBand;
  } cases[] = {{"60 bytes in the area", 40, false}, {"150 bytes in band", 130, true}, {"300 bytes in band", 280, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    char path[] = "/tmp/h264_large_sets_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(session_->StartRecord(0, path), VKT_OK);
    Bytes expected;
    for (int i = 0; i < 10; ++i) {
      Bytes block = NextBlock();
      if (StartsWithRvdx(block.data(), block.size())) block = WithLargerSps(block, c.padding, c.inBand);
      expected.insert(expected.end(), block.begin(), block.end());
      Feed(block);
    }
    EXPECT_EQ(session_->StopRecord(0), VKT_OK);
    EXPECT_EQ(session_->pictures, 10);
    const Bytes file = ReadFile(path);
    std::remove(path);
    ASSERT_EQ(file.size(), expected.size());
    // The first segment's length was filled in when the second began.
    std::memcpy(expected.data() + kRvdxSegmentLengthOffset, file.data() + kRvdxSegmentLengthOffset, 4);
    EXPECT_EQ(file, expected);
  }
}

// A header block whose key picture gets a filler unit (type 12, which a
// decoder passes over) of `filler` bytes, or, with `cut`, a last unit
// length one byte past its box.
Bytes WithFiller(const Bytes& block, size_t filler, bool cut) {
  const uint8_t* body = block.data() + kRvdxHeaderSize;
  QboxHeader first{};
  EXPECT_TRUE(ReadQboxHeader(body, block.size() - kRvdxHeaderSize, &first));
  Bytes payload(body + kQboxHeaderSize, body + first.boxSize);
  const Bytes length = Be32(filler + (cut ? 1 : 0));
  payload.insert(payload.end(), length.begin(), length.end());
  payload.push_back(12);
  payload.resize(payload.size() + filler - 1, 0xFF);
  Bytes out(block.begin(), block.begin() + kRvdxHeaderSize);
  vkt::devsim::appendQbox(out, first.streamType, first.boxFlags, first.sampleFlags, first.timeStamp, payload);
  out.insert(out.end(), body + first.boxSize, block.data() + block.size());
  return out;
}

// Pictures of any size a block can carry are decoded whole; one that
// cannot be converted whole is counted as dropped, never decoded cut.
TEST_F(OfflineSession, LargePicturesDecodeWholeOrAreCountedDropped) {
  const struct {
    const char* name;
    size_t filler;
    bool cut;
    int pictures;
    uint64_t notConverted;
  } cases[] = {{"a 4.4 MB picture", 4400000, false, 1, 0},
               {"a picture of nearly a whole block", kMaxVideoBoxBytes - (64u << 10), false, 1, 0},
               {"a picture past the limit", kMaxStreamBufferSize, false, 0, 1},
               {"a unit past its box", 5000, true, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    Feed(WithFiller(NextBlock(), c.filler, c.cut));
    EXPECT_EQ(session_->pictures, c.pictures);
    EXPECT_EQ(session_->picturesNotConverted, c.notConverted);
  }
}

// Parameter sets that change in a later header are the ones put in front
// of the next decoded box; sets that do not change are not sent again.
TEST_F(OfflineSession, NewParameterSetsInALaterHeaderAreUsed) {
  const struct {
    size_t padding;  // of the sequence parameter set in this key frame's header
    bool prefixed;   // the decoder input begins with it
  } keyFrames[] = {{0, true}, {40, true}, {0, true}, {0, false}};
  for (const auto& k : keyFrames) {
    SCOPED_TRACE(k.padding);
    const Bytes plain = NextBlock();
    ASSERT_TRUE(StartsWithRvdx(plain.data(), plain.size()));
    const Bytes key = WithLargerSps(plain, k.padding, false);
    Feed(key);
    const uint8_t* input = session_->streamBuffer;
    EXPECT_EQ(std::memcmp(input, "\0\0\0\1", 4), 0);
    EXPECT_EQ((input[4] & 0x1F) == 7, k.prefixed);
    if (k.prefixed) {
      const uint8_t* sps = key.data() + kRvdxHeaderSize - key[kRvdxParameterLengthOffset] + kQboxHeaderSize;
      const size_t spsLength = size_t{sps[2]} << 8 | sps[3];
      EXPECT_EQ(std::memcmp(input + 4, sps + 4, spsLength), 0);
    }
    for (int i = 0; i < 4; ++i) Feed(NextBlock());
  }
  EXPECT_EQ(session_->pictures, 20);
}

// A decoder slower than the stream (its thread held inside the first
// picture): the application's thread goes on taking every block and
// recording it whole; the boxes behind a full queue are dropped up to a key
// picture and counted, and decoding goes on from there.
TEST_F(OfflineSession, AStreamFasterThanTheDecoderNeverHoldsUpTheApplication) {
  std::string path = "/tmp/h264_behind_XXXXXX";
  close(mkstemp(path.data()));
  ASSERT_EQ(session_->StartRecord(0, path.c_str()), VKT_OK);
  std::vector<Bytes> blocks;
  for (int i = 0; i < 60; ++i) blocks.push_back(NextBlock());
  session_->decoderGate.lock();
  auto feeding = std::async(std::launch::async, [&] {
    for (Bytes& block : blocks) session_->OnData(block.data(), uint32_t(block.size()));
  });
  const bool fedWhileStalled = feeding.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  session_->decoderGate.unlock();
  EXPECT_TRUE(fedWhileStalled);
  feeding.wait();
  session_->videoFeed.WaitUntilIdle();
  EXPECT_EQ(session_->StopRecord(0), VKT_OK);
  // Every box is either shown or counted; the last key picture and its
  // followers decode whatever was dropped before them.
  const uint64_t dropped = session_->videoFeed.PicturesDropped();
  EXPECT_GE(dropped, DecoderFeed::kMaxPendingBoxes);
  EXPECT_GE(session_->pictures, 5);
  EXPECT_LT(session_->pictures, int(DecoderFeed::kMaxPendingBoxes)) << "a key picture replaces what waits";
  EXPECT_EQ(session_->pictures + dropped, blocks.size());
  // Full service again: at the decoder's pace, every picture of the next
  // groups decodes, not only their key pictures.
  const int before = session_->pictures;
  for (int i = 0; i < 10; ++i) Feed(NextBlock());
  EXPECT_EQ(session_->pictures, before + 10);
  EXPECT_EQ(session_->videoFeed.PicturesDropped(), dropped);
  Bytes expected = FromFirstHeader(blocks), file = ReadFile(path);
  std::remove(path.c_str());
  ASSERT_EQ(file.size(), expected.size());
  // Segment lengths are the recorder's own, filled in header by header.
  for (size_t at = 0, i = 0; i < blocks.size(); at += blocks[i++].size()) {
    if (StartsWithRvdx(blocks[i].data(), blocks[i].size()))
      std::memcpy(expected.data() + at + kRvdxSegmentLengthOffset, file.data() + at + kRvdxSegmentLengthOffset, 4);
  }
  EXPECT_EQ(file, expected);
}

// A close while decoding is behind: the box in hand ends undrawn, what
// waits is forgotten, and each has its outcome in the counts when the
// close returns; the channel reopened decodes from the next key picture.
TEST_F(OfflineSession, AChannelClosedBehindTheDecoderCountsEveryPicture) {
  session_->decoderGate.lock();
  for (int i = 0; i < 8; ++i) {
    Bytes block = NextBlock();
    session_->OnData(block.data(), uint32_t(block.size()));
    while (session_->reachedGate == 0) std::this_thread::yield();  // the first box is in hand
  }
  auto closing = std::async(std::launch::async, [&] { return session_->CloseChannel(0); });
  EXPECT_EQ(closing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << "the box in hand";
  session_->decoderGate.unlock();
  EXPECT_EQ(closing.get(), VKT_OK);
  ChannelPictureCounts counts;
  ASSERT_TRUE(session_->PictureCounts(0, counts));
  EXPECT_EQ(std::vector<uint64_t>({counts.received, counts.DroppedBeforeDecoding(), counts.decoded}),
            std::vector<uint64_t>({8, 8, 0}));
  EXPECT_EQ(session_->OpenChannel(0, window_.handle()), VKT_ERR_TRANSPORT);
  for (int i = 0; i < 10; ++i) Feed(NextBlock());
  ASSERT_TRUE(session_->PictureCounts(0, counts));
  EXPECT_EQ(counts.received, counts.DroppedBeforeDecoding() + counts.decoded);
  EXPECT_GE(counts.decoded, 5u);
}

TEST_F(OfflineSession, SpoiltBoxesAreDroppedAndTheStreamRecovers) {
  Feed(NextBlock());
  for (uint32_t variant = 0; variant < 5; ++variant) {
    Bytes block = NextBlock();
    vkt::devsim::corruptBlock(block, variant);
    Feed(block);
  }
  // Truncated blocks, a header cut short, and garbage.
  Bytes block = NextBlock();
  for (size_t cut : {size_t{1}, size_t{23}, size_t{24}, block.size() - 1}) Feed(Bytes(block.begin(), block.begin() + cut));
  Feed(Bytes{'r', 'v', 'd', 'x', 0, 0});
  Feed(Bytes(5000, 0xA5));
  const int before = session_->pictures;
  for (int i = 0; i < 5; ++i) Feed(NextBlock());  // through the next key frame
  EXPECT_GE(session_->pictures, before + 1);
}

TEST_F(OfflineSession, SurvivesRandomDamageToEveryPartOfTheStream) {
  std::srand(5200);
  for (int i = 0; i < 150; ++i) {
    Bytes block = NextBlock();
    // Headers too: their parameter areas and box sizes get hit as well.
    for (int hits = std::rand() % 8; hits > 0; --hits) block[std::rand() % block.size()] ^= uint8_t(1 << (std::rand() % 8));
    if (std::rand() % 4 == 0) block.resize(std::rand() % block.size());
    Feed(block);
  }
  EXPECT_GT(session_->pictures, 0);
}

TEST_F(OfflineSession, RecordsOnlyKeptBlocksFromAHeaderOn) {
  char path[] = "/tmp/h264_record_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(session_->StartRecord(1, path), VKT_ERR_PARAMETER);
  EXPECT_EQ(session_->StartRecord(0, "/nonexistent/dir/file"), VKT_ERR_PARAMETER);
  ASSERT_EQ(session_->StartRecord(0, path), VKT_OK);
  EXPECT_TRUE(session_->OverlayIsRecording());
  Bytes key = NextBlock();
  Bytes noSets = key;
  noSets[kRvdxParameterLengthOffset] = 0;
  Feed(noSets);            // dropped: neither written nor a start of the recording
  Bytes middle = NextBlock();
  Feed(middle);            // no header yet: not written
  Feed(key);
  Bytes next = NextBlock();
  Feed(next);
  EXPECT_EQ(session_->StopRecord(0), VKT_OK);
  EXPECT_EQ(session_->StopRecord(0), VKT_OK);
  EXPECT_FALSE(session_->OverlayIsRecording());
  Bytes expected = key;
  expected.insert(expected.end(), next.begin(), next.end());
  EXPECT_EQ(ReadFile(path), expected);
  std::remove(path);
}

TEST_F(OfflineSession, PicturesOutsideAnOpenChannelAreNotDrawn) {
  EXPECT_EQ(session_->CloseChannel(0), VKT_OK);
  Bytes pixels(16 * 16 * 3, 0x80);
  DecodedPicture picture{};
  picture.width = 16;
  picture.height = 16;
  picture.pixels = pixels.data();
  EXPECT_EQ(DecoderPictureCallback(static_cast<PictureSink*>(session_.get()), &picture), 0);
  EXPECT_EQ(session_->renderers[0], nullptr);
  EXPECT_EQ(DecoderPictureCallback(static_cast<PictureSink*>(session_.get()), nullptr), kPictureRefused);
}

TEST_F(OfflineSession, TheApplicationsDrawCallbackReplacesTheOverlay) {
  static int calls = 0;
  calls = 0;
  session_->SetDrawCallback(0, [](HDC, uint32_t* size, void* context) {
    EXPECT_EQ(size[0], 16u);
    EXPECT_EQ(context, &calls);
    ++calls;
  }, &calls);
  Bytes pixels(16 * 16 * 3, 0x80);
  DecodedPicture picture{};
  picture.width = 16;
  picture.height = 16;
  picture.pixels = pixels.data();
  session_->OnPicture(&picture);
  ASSERT_NE(session_->renderers[0], nullptr);
  EXPECT_EQ(calls, 1);
}

// The application's draw callback stays for the renderers of later
// openings, whenever it was set; the "nothing" value is never called.
TEST_F(OfflineSession, TheDrawCallbackOutlivesTheRendererAndNothingDrawsNothing) {
  static int calls = 0;
  const DrawCallback count = [](HDC, uint32_t*, void*) { ++calls; };
  const DrawCallback nothing = reinterpret_cast<DrawCallback>(kDrawNothingValue);
  const struct {
    DrawCallback callback;
    bool setWhileDrawing;
    int expected;  // calls for the picture after the channel reopened
  } cases[] = {{count, true, 1}, {count, false, 1}, {nothing, true, 0}, {nothing, false, 0}};
  Bytes pixels(16 * 16 * 3, 0x80);
  DecodedPicture picture{};
  picture.width = picture.height = 16;
  picture.pixels = pixels.data();
  for (const auto& c : cases) {
    session_->SetDrawCallback(0, nullptr, nullptr);
    if (!c.setWhileDrawing) session_->SetDrawCallback(0, c.callback, nullptr);
    session_->OnPicture(&picture);
    ASSERT_NE(session_->renderers[0], nullptr);
    if (c.setWhileDrawing) session_->SetDrawCallback(0, c.callback, nullptr);
    session_->CloseChannel(0);
    session_->OpenChannel(0, window_.handle());
    calls = 0;
    session_->OnPicture(&picture);
    EXPECT_EQ(calls, c.expected) << c.setWhileDrawing;
  }
}

// A camera switching resolution mid-stream: every picture up to the size
// limit is drawn at its own size; larger ones are refused.
TEST_F(OfflineSession, PictureSizeChangesKeepDrawing) {
  static std::vector<std::pair<uint32_t, uint32_t>> drawnSizes;
  drawnSizes.clear();
  session_->SetDrawCallback(0, [](HDC, uint32_t* size, void*) { drawnSizes.emplace_back(size[0], size[1]); }, nullptr);
  std::vector<int32_t> dropReports;  // VKT_EVENT_PICTURES_DROPPED's counts
  session_->SetEventCallback(
      [](void*, const VKT_Event* event, void* user) {
        if (event->type == VKT_EVENT_PICTURES_DROPPED) static_cast<std::vector<int32_t>*>(user)->push_back(event->value1);
      },
      &dropReports);
  struct Case {
    int32_t width, height;
    bool drawn;
  };
  const Case cases[] = {{704, 576, true},   {176, 144, true},   {320, 240, true},    {1280, 720, true},
                        {1920, 1080, true}, {4097, 16, false},  {4096, 2305, false}, {1, 1, true}, {352, 288, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const display_test::Picture solid = display_test::SolidPicture(c.width, c.height, 0x20A040 + c.width);
    DecodedPicture picture{};
    picture.width = c.width;
    picture.height = c.height;
    picture.pixels = const_cast<uint8_t*>(solid.bgr.data());
    drawnSizes.clear();
    session_->OnPicture(&picture);
    if (!c.drawn) {
      EXPECT_TRUE(drawnSizes.empty());
      continue;
    }
    EXPECT_EQ(drawnSizes, (std::vector<std::pair<uint32_t, uint32_t>>{{c.width, c.height}}));
    const std::vector<uint32_t> pixels = window_.ReadPixels();
    ASSERT_FALSE(pixels.empty());
    EXPECT_LE(display_test::ColourDistance(pixels[pixels.size() / 2], 0x20A040 + c.width), 8);
  }
  // The first oversized picture is reported at once, alone.
  session_->Events().Deliver(false);
  ASSERT_FALSE(dropReports.empty());
  EXPECT_EQ(dropReports[0], 1);
}

TEST(H264Session, DeviceTimeNoticeSetsTheClockWithoutSignalling) {
  auto session = NewSession();
  const uint8_t notice[8] = {31, 12, 0xD9, 0x07, 0, 58, 59, 23};
  PacketHeader header{PACKET_MAGIC, PACKET_VERSION, 0, PKT_DEVICE_TIME, sizeof notice, 0};
  session->Notify(&header, const_cast<uint8_t*>(notice));
  const SYSTEMTIME t = session->OverlayDeviceTime();
  EXPECT_EQ(t.wYear, 2009);
  EXPECT_EQ(t.wMonth, 12);
  EXPECT_EQ(t.wDay, 31);
  EXPECT_EQ(t.wHour, 23);
  EXPECT_EQ(t.wMinute, 59);
  EXPECT_EQ(t.wSecond, 58);
  EXPECT_EQ(WaitForSingleObject(session->event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // A notice too short to hold the time changes nothing.
  header.payloadLength = 7;
  const uint8_t other[8] = {1, 1, 0xD0, 0x07, 0, 0, 0, 0};
  session->Notify(&header, const_cast<uint8_t*>(other));
  EXPECT_EQ(session->OverlayDeviceTime().wYear, 2009);
}

TEST(H264Session, LogsInAndServesOnlyChannelZero) {
  DevsimProcess device(5200, {"--channels", "4"});
  ASSERT_NE(device.port(), 0);
  auto session = NewSession();
  EXPECT_EQ(session->OpenChannel(0, nullptr), VKT_ERR_PARAMETER);  // before login
  ASSERT_EQ(session->Connect("127.0.0.1", device.port(), "admin", "admin"), VKT_OK);
  EXPECT_EQ(session->serverInfo.channelCount, 1);  // whatever the answer says
  EXPECT_EQ(session->serverInfo.port, device.port());
  EXPECT_STREQ(session->serverInfo.address, "127.0.0.1");
  EXPECT_EQ(session->Connect("127.0.0.1", device.port(), "admin", "admin"), VKT_ERR_PARAMETER);  // once per handle
  EXPECT_EQ(session->OpenChannel(1, nullptr), VKT_ERR_PARAMETER);
  EXPECT_EQ(session->CloseChannel(1), VKT_ERR_PARAMETER);
  EXPECT_EQ(session->SendControl(3, 4), VKT_OK);
  // The device clock arrives every second.
  session->deviceTime.wYear = 1999;
  EXPECT_TRUE(PumpUntil(3000, [&] { return session->deviceTime.wYear != 1999; }));
}

TEST(H264Session, ReportsRefusalsAndLostConnections) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    const char* password;
    int32_t expected;
  } cases[] = {
      {"denied", {"--refuse-login", "2"}, "admin", VKT_ERR_LOGIN_DENIED},
      {"failed", {"--refuse-login", "7"}, "admin", VKT_ERR_LOGIN_FAILED},
      {"wrong password", {}, "nope", VKT_ERR_LOGIN_DENIED},
  };
  for (const auto& c : cases) {
    DevsimProcess device(5200, c.arguments);
    ASSERT_NE(device.port(), 0) << c.name;
    auto session = NewSession();
    EXPECT_EQ(session->Connect("127.0.0.1", device.port(), "admin", c.password), c.expected) << c.name;
    EXPECT_EQ(session->loggedIn, 0) << c.name;
  }
  auto session = NewSession();
  EXPECT_EQ(session->Connect("127.0.0.1", vkt::test::closedLocalPort(), "admin", "admin"), VKT_ERR_NOT_CONNECTED);
}

// A connection message that arrives while the login answer is awaited:
// posted as the device reports readiness, so it is dispatched first.
class InterruptedLogin : public ObservedSession {
 public:
  InterruptedLogin(UINT message, WPARAM wParam) : message_(message), wParam_(wParam) {}
  VktResult Notify(PacketHeader* header, void* payload) override {
    if (header && header->type == PKT_READY && !posted_) {
      posted_ = true;
      PostMessageA(window, message_, wParam_, 0);
    }
    return ObservedSession::Notify(header, payload);
  }

 private:
  UINT message_;
  WPARAM wParam_;
  bool posted_ = false;
};

// Only the answer or the connection's loss ends the login wait: a repeated
// connect message signals the event, but the wait goes on to the answer.
TEST(H264Session, OnlyTheAnswerOrALossEndsTheLoginWait) {
  const struct {
    UINT message;
    WPARAM wParam;
    int32_t expected;
  } cases[] = {{WM_TRANSPORT_CLOSE, 0, VKT_ERR_NOT_CONNECTED}, {WM_TRANSPORT_CONNECT, 1, VKT_OK}};
  for (const auto& c : cases) {
    DevsimProcess device(5200);
    ASSERT_NE(device.port(), 0);
    InterruptedLogin session(c.message, c.wParam);
    session.CreateMessageWindow();
    EXPECT_EQ(session.Connect("127.0.0.1", device.port(), "admin", "admin"), c.expected) << c.message;
  }
}

TEST(H264Session, NoReadinessTimesOut) {
  DevsimProcess device(5200, {"--no-ready"});
  ASSERT_NE(device.port(), 0);
  auto session = NewSession();
  const DWORD start = timeGetTime();
  EXPECT_EQ(session->Connect("127.0.0.1", device.port(), "admin", "admin"), VKT_ERR_CONNECT_TIMEOUT);
  EXPECT_GE(timeGetTime() - start, 9500u);
}

TEST(H264Session, ShowsLiveVideoWithTheOverlayAndRecordsIt) {
  LiveSession live({"--key-interval", "10"});
  ASSERT_NO_FATAL_FAILURE(live.Open());
  display_test::TestWindow& window = live.window;
  std::unique_ptr<ObservedSession>& session = live.session;
  ASSERT_TRUE(PumpUntil(10000, [&] { return session->pictures >= 10; })) << session->pictures;
  ASSERT_NE(session->renderers[0], nullptr);

  char path[] = "/tmp/h264_live_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(session->StartRecord(0, path), VKT_OK);
  session->keepBlocks = true;
  PumpFor(1500);
  // The recording dot shows on the next pictures.
  PumpFor(200);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  RECT client{};
  GetClientRect(window.handle(), &client);
  ASSERT_EQ(pixels.size(), size_t(client.right) * client.bottom);
  const double sx = double(client.right) / vkt::devsim::kPatternWidth;
  const double sy = double(client.bottom) / vkt::devsim::kPatternHeight;
  auto at = [&](int x, int y) { return pixels[size_t(y * sy) * client.right + size_t(x * sx)]; };
  auto near = [](uint32_t rgb, vkt::devsim::PatternColour c) {
    return std::abs(int(rgb >> 16 & 255) - c.red) < 40 && std::abs(int(rgb >> 8 & 255) - c.green) < 40 &&
           std::abs(int(rgb & 255) - c.blue) < 40;
  };
  for (int bar = 1; bar < 4; ++bar) {
    const int x = bar * vkt::devsim::kPatternWidth / 4 + vkt::devsim::kPatternWidth / 8;
    EXPECT_TRUE(near(at(x, 60), vkt::devsim::patternBarColour(x))) << bar << ": " << std::hex << at(x, 60);
  }
  // The device time is written over the first bar at the top left.
  int notBar = 0;
  for (int y = 2; y < 14; ++y)
    for (int x = 2; x < 100; ++x) notBar += !near(at(x, y), vkt::devsim::patternBarColour(0));
  EXPECT_GT(notBar, 20);
  // The recording dot is green.
  const RECT dot = RecordingIndicatorRect(vkt::devsim::kPatternWidth, vkt::devsim::kPatternHeight);
  const uint32_t dotCentre = at((dot.left + dot.right) / 2, (dot.top + dot.bottom) / 2);
  EXPECT_GT(int(dotCentre >> 8 & 255), 200) << std::hex << dotCentre;
  EXPECT_LT(int(dotCentre >> 16 & 255), 60) << std::hex << dotCentre;

  ASSERT_EQ(session->StopRecord(0), VKT_OK);
  session->keepBlocks = false;
  EXPECT_EQ(session->CloseChannel(0), VKT_OK);
  EXPECT_EQ(session->renderers[0], nullptr);

  // The file is the blocks received from the first header on, with every
  // segment length but the last filled in.
  Bytes expected = FromFirstHeader(session->blocks);
  const Bytes file = ReadFile(path);
  std::remove(path);
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(file.size(), expected.size());
  size_t position = 0;
  int segments = 0;
  int boxes = 0;
  while (position < file.size()) {
    ASSERT_TRUE(StartsWithRvdx(file.data() + position, file.size() - position)) << position;
    const uint32_t length = Le32At(file, position + kRvdxSegmentLengthOffset);
    const bool last = length == 0xEEEEEEEEu;
    const size_t end = last ? file.size() : position + length;
    ASSERT_LE(end, file.size());
    std::memcpy(expected.data() + position + kRvdxSegmentLengthOffset, file.data() + position + kRvdxSegmentLengthOffset, 4);
    const size_t body = end - position - kRvdxHeaderSize;
    EXPECT_EQ(WalkBoxes(file.data() + position + kRvdxHeaderSize, body,
                        [](void* n, const QboxHeader&, const uint8_t*) { ++*static_cast<int*>(n); }, &boxes),
              body);
    position = end;
    ++segments;
  }
  EXPECT_GE(segments, 2);
  EXPECT_GE(boxes, 20);
  EXPECT_EQ(file, expected);
}

TEST(H264Session, ALostConnectionEndsTheRecordingWithEveryBlockReceived) {
  LiveSession live({"--key-interval", "5"});
  ASSERT_NO_FATAL_FAILURE(live.Open());
  DevsimProcess& device = live.device;
  display_test::TestWindow& window = live.window;
  std::unique_ptr<ObservedSession>& session = live.session;
  char path[] = "/tmp/h264_lost_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  session->keepBlocks = true;
  ASSERT_EQ(session->StartRecord(0, path), VKT_OK);
  ASSERT_TRUE(PumpUntil(10000, [&] { return session->recorder.recordedBytes > 0 && session->blocks.size() > 12; }));
  device.kill();
  ASSERT_TRUE(PumpUntil(2000, [&] { return session->OpenChannel(0, window.handle()) == VKT_ERR_NOT_CONNECTED; }));
  // The file was closed at the loss, holding every block from the first header on.
  EXPECT_EQ(session->recordFiles[0], nullptr);
  EXPECT_FALSE(session->OverlayIsRecording());
  EXPECT_EQ(session->StartRecord(0, path), VKT_ERR_NOT_CONNECTED);
  EXPECT_EQ(session->StopRecord(0), VKT_OK);
  Bytes expected = FromFirstHeader(session->blocks);
  const Bytes file = ReadFile(path);
  std::remove(path);
  ASSERT_EQ(file.size(), expected.size());
  // Segment lengths are the only bytes the writer changes.
  for (size_t at = 0; at + kRvdxHeaderSize <= file.size(); at += Le32At(file, at + kRvdxSegmentLengthOffset)) {
    ASSERT_TRUE(StartsWithRvdx(file.data() + at, file.size() - at)) << at;
    ASSERT_GE(Le32At(file, at + kRvdxSegmentLengthOffset), kRvdxHeaderSize) << at;
    std::memcpy(expected.data() + at + kRvdxSegmentLengthOffset, file.data() + at + kRvdxSegmentLengthOffset, 4);
    if (Le32At(file, at + kRvdxSegmentLengthOffset) == 0xEEEEEEEEu) break;
  }
  EXPECT_EQ(file, expected);
}

// A recording moved into a new file every few blocks: each file starts at
// a header and reads back whole on its own, and the files one after the
// other are every block received from the first header on.
TEST(H264Session, ContinuingIntoNewFilesLosesNoBlock) {
  LiveSession live({"--key-interval", "5"});
  ASSERT_NO_FATAL_FAILURE(live.Open());
  std::unique_ptr<ObservedSession>& session = live.session;
  const std::string base = "/tmp/h264_parts_" + std::to_string(getpid());
  const std::vector<std::string> paths = {base + "-0", base + "-1", base + "-2", base + "-3"};
  EXPECT_EQ(session->ContinueRecord(0, paths[1].c_str()), VKT_ERR_PARAMETER);  // nothing recording
  session->keepBlocks = true;
  ASSERT_EQ(session->StartRecord(0, paths[0].c_str()), VKT_OK);
  EXPECT_EQ(session->ContinueRecord(1, paths[1].c_str()), VKT_ERR_PARAMETER);
  for (size_t part = 1; part <= paths.size(); ++part) {
    const size_t until = session->blocks.size() + 7;
    ASSERT_TRUE(PumpUntil(10000, [&] { return session->blocks.size() >= until; }));
    if (part < paths.size()) {
      EXPECT_EQ(session->ContinueRecord(0, paths[part].c_str()), VKT_OK);
    }
  }
  ASSERT_EQ(session->StopRecord(0), VKT_OK);
  Bytes expected = FromFirstHeader(session->blocks);
  Bytes joined;
  for (const std::string& path : paths) {
    const Bytes file = ReadFile(path);
    std::remove(path.c_str());
    SCOPED_TRACE(path);
    ASSERT_GE(file.size(), kRvdxHeaderSize);
    const RecordingContents contents = ReadRecording(file.data(), file.size());
    EXPECT_FALSE(contents.damaged());
    ASSERT_FALSE(contents.boxes.empty());
    EXPECT_TRUE(contents.boxes[0].key);
    for (const RecordedSegment& segment : contents.segments) {
      const size_t field = joined.size() + segment.offset + kRvdxSegmentLengthOffset;
      ASSERT_LE(field + 4, expected.size());
      std::memcpy(expected.data() + field, file.data() + segment.offset + kRvdxSegmentLengthOffset, 4);
    }
    joined.insert(joined.end(), file.begin(), file.end());
  }
  EXPECT_EQ(joined, expected);
}
