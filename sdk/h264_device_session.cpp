// The kind-5200 session: handshake, notifications, control packets, the
// one channel, recording, and the path of its stream from the transport's
// data blocks through the decoder to the renderer.
#include "h264_device_session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "channel_windows.h"
#include "debug_line.h"
#include "decode_fault_guard.h"
#include "picture_size_limit.h"
#include "stream_parser.h"
#include "video_renderer.h"

namespace {

constexpr DWORD kConnectTimeoutMs = 11000;
constexpr DWORD kAnswerTimeoutMs = 10000;
constexpr int32_t kDecoderCodec = 2;
constexpr int32_t kDecoderThreads = 8;
constexpr int32_t kDecoderMode = 1;
constexpr uint32_t kConnectRecordSize = 280;
constexpr size_t kConnectAddressField = 260;

// _tagConnectSocketInfo as this kind fills it.
void FillConnectRecord(uint8_t* record, const char* address, int32_t port) {
  const int32_t addressFamily = 2;
  const int32_t portValue = port & 0xFFFF;
  const int32_t retries = 10;
  const int32_t bufferSize = 0x20000;
  // Addresses longer than the field are cut to stay NUL-terminated.
  std::strncpy(reinterpret_cast<char*>(record), address, kConnectAddressField - 1);
  std::memcpy(record + 260, &addressFamily, 4);
  std::memcpy(record + 264, &portValue, 4);
  std::memcpy(record + 268, &retries, 4);
  record[272] = 1;
  std::memcpy(record + 276, &bufferSize, 4);
}

// The stream and picture buffers (2 to 8 MiB and 28 MB) come straight from the
// system: their pages are backed only once written, they are cheap to take
// and give back, and the page after each stays reserved but never
// committed, so a write past the end faults at once instead of landing in
// another allocation.
constexpr size_t kGuardBytes = 4096;

uint8_t* TakeBuffer(size_t bytes) {
  auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes + kGuardBytes, MEM_RESERVE, PAGE_NOACCESS));
  if (base && !VirtualAlloc(base, bytes, MEM_COMMIT, PAGE_READWRITE)) {
    VirtualFree(base, 0, MEM_RELEASE);
    return nullptr;
  }
  return base;
}

void ReleaseBuffer(uint8_t* buffer) {
  if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
}

}  // namespace

H264DeviceSession::H264DeviceSession()
    : DeviceSession(VKT_KIND_H264),
      audioDecoder(-1),
      videoDecoder(-1),
      prefixPending(0),
      parameterSetsExtracted(0),
      keyFrameSeen(0),
      streaming(0),
      drawCallback(nullptr),
      drawContext(nullptr),
      recorder(recordFiles[0]),
      streamBuffer(nullptr),
      frameBuffer(nullptr),
      decodeRequest{},
      deviceTime{},
      bitmapInfo{},
      displayWindow(nullptr),
      videoFeed(DecodeOnFeedThread, this) {
  bitmapInfo.headerSize = 40;
  bitmapInfo.planes = 1;
  bitmapInfo.bitsPerPixel = 24;
  bitmapInfo.colourEntry[0] = bitmapInfo.colourEntry[1] = bitmapInfo.colourEntry[2] = 128;
  // Set once: the decoding thread owns the record from the first box on.
  decodeRequest.size = 36;
  decodeRequest.outputFormat = &bitmapInfo;
  GetLocalTime(&deviceTime);
  InitializeCriticalSection(&rendererLock_);
}

H264DeviceSession::~H264DeviceSession() {
  Close();
  recorder.Stop();
  PublishRecordingState();
  DeleteCriticalSection(&rendererLock_);
}

VktResult H264DeviceSession::Connect(const char* address, int32_t port, const char* user, const char* password) {
  if (!address || !user || !password) return VKT_ERR_PARAMETER;
  // One connection per handle; a failed attempt may be repeated, with a
  // new transport and the decoders of the first attempt.
  if (loggedIn) return VKT_ERR_PARAMETER;
  ReleaseTransport();
  PrepareConnectAttempt();

  transport = NSMGAPI_Create(window);
  if (!decodersCreated_) {
    decodersCreated_ = true;
    audioDecoder = CODECAPI_AudioDecodeInit(kDecoderCodec);
    OpenVideoDecoder();
  }

  uint8_t connectRecord[kConnectRecordSize] = {};
  FillConnectRecord(connectRecord, address, port);
  if (!transport || NSMGAPI_Connect(transport, connectRecord) == 0) return VKT_ERR_TRANSPORT;
  if (WaitForEvent(event, ConnectWaitMs(kConnectTimeoutMs)) != 0) {
    // The transport would go on dialling behind the caller's back.
    ReleaseTransport();
    return VKT_ERR_CONNECT_TIMEOUT;
  }
  if (!connected) return VKT_ERR_NOT_CONNECTED;

  StoreConnectedAddress(address, port);
  if (WaitForEvent(event, ConnectWaitMs(kAnswerTimeoutMs)) != 0) return VKT_ERR_CONNECT_TIMEOUT;
  // A device of the other kind refuses the init packet with a login answer.
  if (lastError != 0) return lastError;
  if (!connected) return VKT_ERR_NOT_CONNECTED;

  LoginRequest request = MakeLoginRequest(user, password, 1);
  OpenLoginWait();
  if (NSMGAPI_SendPacketData(transport, PKT_LOGIN, reinterpret_cast<uint8_t*>(&request), sizeof request) == 0)
    return VKT_ERR_TRANSPORT;
  const VktResult login = AwaitLoginAnswer(LoginWaitMs(kAnswerTimeoutMs));
  if (login != VKT_OK) return login;
  NSMGAPI_SendPacketData(transport, PKT_LOGIN_DONE, nullptr, 0);
  return VKT_OK;
}

VktResult H264DeviceSession::Notify(PacketHeader* header, void* payload) {
  if (!header) return VKT_OK;
  const auto* bytes = static_cast<const uint8_t*>(payload);
  switch (header->type) {
    case PKT_LOGIN:
      TakeLoginAnswer(header, payload, 1);
      break;
    case PKT_DEVICE_TIME:
      if (bytes && header->payloadLength >= 8) {
        EnterCriticalSection(&rendererLock_);  // the overlay reads it while drawing
        deviceTime.wDay = bytes[0];
        deviceTime.wMonth = bytes[1];
        deviceTime.wYear = static_cast<WORD>(bytes[2] | (bytes[3] << 8));
        deviceTime.wSecond = bytes[5];
        deviceTime.wMinute = bytes[6];
        deviceTime.wHour = bytes[7];
        LeaveCriticalSection(&rendererLock_);
      }
      break;
    case PKT_READY:
      connected = 1;
      SetEvent(event);
      break;
    default:
      break;
  }
  return VKT_OK;
}

VktResult H264DeviceSession::OnMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TRANSPORT_CONNECT:
      if (transport) NSMGAPI_SendInitPacketData(transport);
      break;
    case WM_TRANSPORT_CLOSE:
      // Every block received before the loss was dispatched ahead of this
      // message and is in the file; the recording ends here, whole, or,
      // when the session reconnects, goes on from the next segment header.
      if (ConnectionLost()) {
        if (ReconnectEnabled())
          recorder.ResumeAtNextHeader();
        else
          recorder.Stop();
        PublishRecordingState();
      }
      break;
    case WM_TRANSPORT_NOTIFY2:
      Notify(reinterpret_cast<PacketHeader*>(wParam), reinterpret_cast<void*>(lParam));
      break;
    case WM_TRANSPORT_DATA2: {
      const auto* block = reinterpret_cast<const DataBlock*>(lParam);
      if (block) OnData(block->data, block->length);
      break;
    }
    default:
      break;
  }
  return VKT_OK;
}

VktResult H264DeviceSession::OnData(void* data, uint32_t length) {
  const auto* block = static_cast<const uint8_t*>(data);
  if (!block || length == 0) return VKT_OK;
  const uint8_t* body = block;
  uint32_t bodyLength = length;
  const bool header = StartsWithRvdx(block, length);
  if (header) {
    if (length < kRvdxHeaderSize) return VKT_OK;
    body = block + kRvdxHeaderSize;
    bodyLength = length - kRvdxHeaderSize;
    // Until the stream has given usable parameter sets, its header blocks
    // cannot be decoded, nor start a recording that could be played.
    if (!TakeParameterSets(block, body, bodyLength) && !parameterSetsExtracted) return VKT_OK;
  }
  if (!recorder.WriteBlock(block, length, header)) {
    const std::string error = recorder.WriteErrorText();
    recorder.Stop();
    PublishRecordingState();
    SdkDebugLine("recording stopped: %s", error.c_str());
    PostEvent(VKT_EVENT_RECORD_STOPPED, 0, 0, 0, error.c_str());
  }

  WalkBoxes(
      body, bodyLength,
      [](void* session, const QboxHeader& box, const uint8_t* at) {
        static_cast<H264DeviceSession*>(session)->DispatchBox(box, at);
      },
      this);
  return VKT_OK;
}

// Every header may bring parameter sets: in its parameter area, or, when
// they do not fit there (the area holds at most 111 bytes), in band in the
// key frame that follows.
// Sets that differ from the session's replace them and go in front of the
// next decoded box.
bool H264DeviceSession::TakeParameterSets(const uint8_t* header, const uint8_t* body, uint32_t bodyLength) {
  const uint32_t areaLength = header[kRvdxParameterLengthOffset];
  ParameterSets sets;
  if (ExtractParameterSets(header + kRvdxHeaderSize - areaLength, areaLength, sets) == 0 &&
      ExtractInBandParameterSets(body, bodyLength, sets) == 0) {
    if (!parameterSetsExtracted)
      SdkDebugLine("stream header dropped: no usable parameter sets (area of %u bytes, at most %u bytes of sets)",
                   areaLength, kMaxParameterSetBytes);
    return false;
  }
  if (sets != parameterSets_) {
    parameterSets_ = std::move(sets);
    prefixPending = 1;
  }
  parameterSetsExtracted = 1;
  return true;
}

// Video boxes are decoded from the first key frame on, key frame or not;
// other streams are passed over.
void H264DeviceSession::DispatchBox(const QboxHeader& box, const uint8_t* at) {
  if (!IsVideoStream(box.streamType)) return;
  if (box.sampleFlags & kSampleFlagKeyFrame) keyFrameSeen = 1;
  if (keyFrameSeen) DecodeVideoBox(box, at);
}

// Converts the box on the application's thread and hands it to the
// decoding thread; the parameter sets stay pending until a box that
// carries them is taken.
void H264DeviceSession::DecodeVideoBox(const QboxHeader& box, const uint8_t* at) {
  // Stream data before the first OpenChannel, or while the channel is
  // closed, has nowhere to go.
  if (!streamBuffer || !streaming) return;
  // The picture buffer (28 MB, for the largest picture) is taken when the
  // first box is decoded: a channel that gets no video costs nothing. The
  // decoding thread first sees it through the box handed over below.
  if (!frameBuffer) frameBuffer = TakeBuffer(kFrameBufferSize);
  if (!frameBuffer) return;
  const ParameterSets* prefix = prefixPending ? &parameterSets_ : nullptr;
  const size_t whole = AnnexBSize(box, prefix);
  const bool room = ReserveStreamBuffer(whole);
  const size_t written = room ? ConvertToAnnexB(box, at, prefix, streamBuffer, streamBufferSize_) : 0;
  if (room && written == 0) return;  // not valid video
  if (written != whole) {
    // A cut picture would only corrupt the ones that follow it.
    ++picturesNotConverted;
    Events().NoteDropped(window, 1);
    SdkDebugLine("video box of %u bytes dropped: %s", box.boxSize,
                 whole > kMaxStreamBufferSize ? "larger than the stream buffer's limit" : "a unit runs past its box");
    return;
  }
  const uint64_t droppedBefore = videoFeed.PicturesDropped();
  const BoxStamp stamp{box.timeStamp, PictureClockMicros(), ++videoBoxes_};
  const bool queued =
      videoFeed.Submit(streamBuffer, written, (box.sampleFlags & kSampleFlagKeyFrame) != 0, parameterSets_, stamp);
  if (queued) prefixPending = 0;
  // Only this thread drops pictures, so the difference is this box's doing.
  const uint64_t dropped = videoFeed.PicturesDropped() - droppedBefore;
  if (dropped) Events().NoteDropped(window, static_cast<uint32_t>(dropped));
  std::lock_guard<std::mutex> hold(countsLock_);
  ++counts_.received;
  counts_.replaced += dropped;
  // Not queued and no drop: passed over until decoding restarts at a key
  // picture, after a close or a decoder fault.
  counts_.unwanted += !queued && dropped == 0;
}

bool H264DeviceSession::ReserveStreamBuffer(size_t bytes) {
  if (bytes <= streamBufferSize_) return true;
  if (bytes > kMaxStreamBufferSize) return false;
  // Grown in whole MiB, so a stream of slowly growing pictures does not
  // take a new buffer for every one.
  const size_t rounded = std::min<size_t>((bytes + 0xFFFFF) & ~size_t{0xFFFFF}, kMaxStreamBufferSize);
  uint8_t* larger = TakeBuffer(rounded);
  if (!larger) return false;
  ReleaseBuffer(streamBuffer);
  streamBuffer = larger;
  streamBufferSize_ = static_cast<uint32_t>(rounded);
  return true;
}

void H264DeviceSession::OpenVideoDecoder() {
  videoDecoder = CODECAPI_DecodeInit(kDecoderCodec, kDecoderThreads, window, 0, kDecoderMode);
  CODECAPI_SetCallBack(videoDecoder, static_cast<PictureSink*>(this), DecoderPictureCallback, 0);
}

void H264DeviceSession::DecodeOnFeedThread(void* session, uint8_t* input, uint32_t length, const BoxStamp& stamp) {
  auto& self = *static_cast<H264DeviceSession*>(session);
  // The decoder hands back the box's pictures before it returns.
  self.decodingStamp_ = stamp;
  bool faulted = false;
  if (!DecodeAnnexB(self.videoDecoder, self.decodeRequest, input, length, self.frameBuffer, kFrameBufferSize,
                    &faulted)) {
    std::lock_guard<std::mutex> hold(self.countsLock_);
    ++self.counts_.failed;
  }
  if (faulted) self.ReplaceFaultedDecoder();
}

// The library faulted inside the decoding call: the box is lost and the
// decoder's state cannot be trusted, so it is freed (if that faults too it
// is left as it is) and a new one takes its place. The pictures that
// followed the lost box would be broken: decoding resumes at the next key
// picture, with the parameter sets in front for the new decoder.
void H264DeviceSession::ReplaceFaultedDecoder() {
  SdkDebugLine("video decoder faulted: box lost, decoder made anew, resuming at the next key picture");
  if (GuardedDecodeUninit(videoDecoder) == GuardedCall::kFaulted)
    SdkDebugLine("video decoder faulted again while it was freed: its memory is left as it is");
  OpenVideoDecoder();
  const size_t waiting = videoFeed.RestartAtKeyPicture();
  Events().NoteDropped(window, 1);
  std::lock_guard<std::mutex> hold(countsLock_);
  counts_.unwanted += waiting;
}

void H264DeviceSession::DeliverPicture(const DecodedPicture& picture, uint32_t width, uint32_t height) {
  VKT_PICTURE view{};
  view.channel = 0;
  view.width = width;
  view.height = height;
  view.stride = width * 3;
  view.pixels = picture.pixels;
  view.timestamp = decodingStamp_.deviceTime;
  view.sequence = decodingStamp_.sequence;
  const bool delivered = pictureCallback_.Deliver(view);
  const uint64_t deliveredAt = PictureClockMicros();
  lastPicture_.Keep(picture.pixels, width, height);
  std::lock_guard<std::mutex> hold(countsLock_);
  ++counts_.decoded;
  counts_.width = counts_.decodedWidth = width;
  counts_.height = counts_.decodedHeight = height;
  if (delivered) {
    ++counts_.delivered;
    toCallback_.Add(decodingStamp_.arrivalMicros, deliveredAt);
  }
}

int32_t H264DeviceSession::OnPicture(const DecodedPicture* picture) {
  if (!picture->pixels || picture->width <= 0 || picture->height <= 0) return 0;
  const auto width = static_cast<uint32_t>(picture->width);
  const auto height = static_cast<uint32_t>(picture->height);
  // The box in hand when the channel closed, or one over the size limit.
  const bool open = streaming != 0;
  if (!open || !AcceptPictureSize(width, height, "kind-5200 stream")) {
    if (open) Events().NoteDropped(window, 1);
    std::lock_guard<std::mutex> hold(countsLock_);
    ++(open ? counts_.failed : counts_.unwanted);
    return 0;
  }
  Events().NotePicture(window, 0, width, height);
  DeliverPicture(*picture, width, height);
  EnterCriticalSection(&rendererLock_);
  // Looked at again under the lock: a channel closed meanwhile has already
  // deleted its renderer and must not get a new one.
  if (!streaming || withoutWindow_) {
    LeaveCriticalSection(&rendererLock_);
    return 0;
  }
  if (!renderers[0]) {
    auto* renderer = new (std::nothrow) VideoRenderer();
    if (renderer) {
      renderer->Initialize();
      renderer->Configure(displayWindow, width, height, 0);
      ApplyDrawCallback(*renderer);
      renderers[0] = renderer;
    }
  } else if (renderers[0]->PictureWidth() != width || renderers[0]->PictureHeight() != height) {
    // The stream changed its picture size: the renderer follows.
    renderers[0]->Resize(width, height);
  }
  const int32_t result = renderers[0] ? renderers[0]->DrawPicture(picture->pixels, nullptr) : 0;
  const bool shown = renderers[0] && result == 0;
  LeaveCriticalSection(&rendererLock_);
  if (shown) {
    std::lock_guard<std::mutex> hold(countsLock_);
    ++counts_.shown;
    toBlit_.Add(decodingStamp_.arrivalMicros, PictureClockMicros());
  }
  return result;
}

void H264DeviceSession::DestroyRenderer() {
  EnterCriticalSection(&rendererLock_);
  delete renderers[0];
  renderers[0] = nullptr;
  LeaveCriticalSection(&rendererLock_);
}

VktResult H264DeviceSession::RequestVideo() {
  uint8_t payload[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  if (!transport || NSMGAPI_SendPacketData(transport, PKT_STREAM_START, payload, sizeof payload) == 0)
    return VKT_ERR_TRANSPORT;
  return VKT_OK;
}

void H264DeviceSession::ResumeAfterReconnect() {
  if (streaming) RequestVideo();
}

VktResult H264DeviceSession::SendControl(int32_t value1, int32_t value2) {
  const int32_t values[4] = {value1, value2, 10, 5};
  uint8_t payload[sizeof values];
  std::memcpy(payload, values, sizeof values);
  if (!transport || NSMGAPI_SendPacketData(transport, PKT_CONTROL, payload, sizeof payload) == 0)
    return VKT_ERR_TRANSPORT;
  return VKT_OK;
}

VktResult H264DeviceSession::OpenChannel(uint32_t channel, HWND videoWindow) {
  if (ConnectionLost()) return VKT_ERR_NOT_CONNECTED;
  if (channel >= serverInfo.channelCount) return VKT_ERR_PARAMETER;
  return StartChannel(videoWindow, false);
}

VktResult H264DeviceSession::OpenChannelWithoutWindow(uint32_t channel, uint32_t reduction) {
  if (ConnectionLost()) return VKT_ERR_NOT_CONNECTED;
  // The decoder hands over whole pictures only.
  if (channel >= serverInfo.channelCount || reduction != 1) return VKT_ERR_PARAMETER;
  return StartChannel(nullptr, true);
}

VktResult H264DeviceSession::StartChannel(HWND videoWindow, bool withoutWindow) {
  DestroyRenderer();
  // Not cleared: every byte the decoder reads was written first (a box's
  // Annex-B form, a picture the decoder made).
  if (!streamBuffer) {
    streamBuffer = TakeBuffer(kStreamBufferSize);
    streamBufferSize_ = streamBuffer ? kStreamBufferSize : 0;
  }
  if (!streamBuffer) return VKT_ERR_PARAMETER;
  EnterCriticalSection(&rendererLock_);
  displayWindow = videoWindow;
  withoutWindow_ = withoutWindow;
  LeaveCriticalSection(&rendererLock_);
  ClaimChannelWindow(this, 0, videoWindow);
  Events().ForgetPicture(0);
  pictureCallback_.Start();
  streaming = 1;
  return RequestVideo();
}

VktResult H264DeviceSession::CloseChannel(uint32_t channel) {
  if (channel >= serverInfo.channelCount) return VKT_ERR_PARAMETER;
  streaming = 0;
  // The decoding thread may be inside a picture: it ends that one, finds
  // `streaming` clear under the renderer's lock and draws nothing more.
  // Waiting for it (and for a picture callback under way, after which
  // none follows) leaves the channel's counts whole when this returns.
  const size_t discarded = videoFeed.DiscardPending();
  videoFeed.WaitUntilIdle();
  pictureCallback_.Stop();
  {
    std::lock_guard<std::mutex> hold(countsLock_);
    counts_.unwanted += discarded;
  }
  DestroyRenderer();
  ReleaseChannelWindow(this, channel);
  uint8_t payload[4] = {};
  if (transport) NSMGAPI_SendPacketData(transport, PKT_STREAM_STOP, payload, sizeof payload);
  return VKT_OK;
}

VktResult H264DeviceSession::SetPictureCallback(uint32_t channel, VKT_PictureCallback callback, void* user) {
  if (channel != 0) return VKT_ERR_PARAMETER;
  pictureCallback_.Set(this, callback, user);
  return VKT_OK;
}

VktResult H264DeviceSession::SavePicture(uint32_t channel, const char* fileName) {
  if (channel != 0) return VKT_ERR_PARAMETER;
  switch (SnapshotFormatOf(fileName)) {
    case SnapshotFormat::kBmp:
      return lastPicture_.SaveBmp(fileName) ? VKT_OK : VKT_ERR_PARAMETER;
    case SnapshotFormat::kJpeg:
      return VKT_ERR_NOT_SUPPORTED;  // the device sends no pictures of its own, only a stream
    default:
      return VKT_ERR_PARAMETER;
  }
}

bool H264DeviceSession::PictureCounts(uint32_t channel, ChannelPictureCounts& counts) const {
  if (channel != 0) return false;
  std::lock_guard<std::mutex> hold(countsLock_);
  counts = counts_;
  const uint64_t now = PictureClockMicros();
  counts.toBlit = toBlit_.Figures(now);
  counts.toCallback = toCallback_.Figures(now);
  return true;
}

void H264DeviceSession::Close() {
  streaming = 0;
  pictureCallback_.Stop();
  EnterCriticalSection(&rendererLock_);
  for (auto& renderer : renderers) {
    delete renderer;
    renderer = nullptr;
  }
  LeaveCriticalSection(&rendererLock_);
  ReleaseChannelWindow(this, 0);
  ReleaseTransport();
  // The decoding thread ends before the decoder and the buffers it uses go.
  videoFeed.Stop();
  if (videoDecoder != -1 || audioDecoder != -1) {
    CODECAPI_DecodeUninit(videoDecoder);
    CODECAPI_AudioDecodeDeInit(audioDecoder, kDecoderCodec);
    videoDecoder = audioDecoder = -1;
  }
  ReleaseBuffer(streamBuffer);
  ReleaseBuffer(frameBuffer);
  streamBuffer = frameBuffer = nullptr;
  streamBufferSize_ = 0;
}

void H264DeviceSession::ReleaseTransport() {
  if (!transport) return;
  if (connected == 1) NSMGAPI_Disconnect(transport);
  NSMGAPI_Destroy(transport);
  transport = nullptr;
  connected = 0;
}

VktResult H264DeviceSession::SetDrawCallback(uint32_t, DrawCallback callback, void* context) {
  // Kept for every later renderer too: one made when the channel opens
  // again keeps drawing what the application asked for.
  EnterCriticalSection(&rendererLock_);
  drawCallback = callback;
  drawContext = context;
  if (renderers[0]) ApplyDrawCallback(*renderers[0]);
  LeaveCriticalSection(&rendererLock_);
  return VKT_OK;
}

void H264DeviceSession::ApplyDrawCallback(VideoRenderer& renderer) {
  if (DrawsNothing(drawCallback))
    renderer.SetDrawCallback(nullptr, nullptr);
  else if (drawCallback)
    renderer.SetDrawCallback(drawCallback, drawContext);
  else
    renderer.SetDrawCallback(DrawOverlay, static_cast<OverlaySource*>(this));
}

VktResult H264DeviceSession::StartRecord(uint32_t channel, const char* fileName) {
  if (ConnectionLost()) return VKT_ERR_NOT_CONNECTED;
  if (channel != 0) return VKT_ERR_PARAMETER;
  const bool started = recorder.Start(fileName);
  PublishRecordingState();
  return started ? VKT_OK : VKT_ERR_PARAMETER;
}

VktResult H264DeviceSession::ContinueRecord(uint32_t channel, const char* fileName) {
  if (channel != 0) return VKT_ERR_PARAMETER;
  return recorder.ContinueInto(fileName) ? VKT_OK : VKT_ERR_PARAMETER;
}

VktResult H264DeviceSession::StopRecord(uint32_t channel) {
  // The device has channel 0 only: stopping its recording for another
  // channel would end a recording the application still wants.
  if (channel != 0) {
    SdkDebugLine("VKT_StopRecord refused: channel %u, the device records channel 0 only", channel);
    return VKT_ERR_PARAMETER;
  }
  recorder.Stop();
  PublishRecordingState();
  return VKT_OK;
}

void H264DeviceSession::PublishRecordingState() { recording_.store(recorder.IsOpen(), std::memory_order_relaxed); }

// Called by the overlay with the renderer's lock held, which also guards
// the device time.
SYSTEMTIME H264DeviceSession::OverlayDeviceTime() const { return deviceTime; }

bool H264DeviceSession::OverlayIsRecording() const { return recording_.load(std::memory_order_relaxed); }
