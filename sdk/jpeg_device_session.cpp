// The kind-7100 handshake (connect, log in), the channel bookkeeping with its
// request timer, and the teardown. Pictures go to the decode pool.
#include "jpeg_device_session.h"

#include <bit>
#include <string>
#include <vector>
#include <cstring>
#include <new>

#include "channel_windows.h"
#include "jpeg_frame_path.h"
#include "picture_scale.h"
#include "bmp_file.h"
#include "debug_line.h"
#include "picture_snapshot.h"
#include "video_renderer.h"

namespace {

constexpr DWORD kAnswerWaitMs = 10000;
// Only the channels among 0 to 3 set the request rate.
constexpr uint32_t kTimedChannelsMask = 0xF;

// The connect record of this kind: the address, a constant 2, the port and
// a zero. The transport reads only the address and the port.
struct ConnectSocketInfo {
  char address[260];
  int32_t constantTwo;
  int32_t port;
  int32_t zero;
};
static_assert(sizeof(ConnectSocketInfo) == 272, "connect record is 272 bytes");

struct PictureRequest {
  int32_t reserved0;
  uint32_t channelMask;
  int32_t reserved1;
};
static_assert(sizeof(PictureRequest) == 12, "picture request is 12 bytes");

}  // namespace

JpegDeviceSession::~JpegDeviceSession() { Close(); }

VktResult JpegDeviceSession::Connect(const char* address, int32_t port, const char* user, const char* password) {
  if (!address || !user || !password) return VKT_ERR_PARAMETER;
  // One connection per handle; a failed attempt may be repeated.
  if (loggedIn) return VKT_ERR_PARAMETER;
  ReleaseTransport();
  PrepareConnectAttempt();
  transport = createRemoteSocket(window, 1);

  ConnectSocketInfo info{};
  std::strncpy(info.address, address, sizeof info.address - 1);
  info.constantTwo = 2;
  info.port = static_cast<int32_t>(static_cast<uint32_t>(port) & 0xFFFF);
  if (!connectRemoteSocket(transport, &info)) return VKT_ERR_TRANSPORT;
  if (WaitForEvent(event, ConnectWaitMs(kAnswerWaitMs)) != 0) {
    // The transport would go on dialling behind the caller's back.
    ReleaseTransport();
    return VKT_ERR_CONNECT_TIMEOUT;
  }
  if (!connected) return VKT_ERR_NOT_CONNECTED;
  StoreConnectedAddress(address, port);

  LoginRequest request = MakeLoginRequest(user, password, 0);
  OpenLoginWait();
  if (!sendPacketDataRemoteSocket(transport, PKT_LOGIN, reinterpret_cast<uint8_t*>(&request), sizeof request)) {
    return VKT_ERR_TRANSPORT;
  }
  return AwaitLoginAnswer(LoginWaitMs(kAnswerWaitMs));
}

VktResult JpegDeviceSession::Notify(PacketHeader* header, void* payload) {
  if (header && header->type == PKT_LOGIN) TakeLoginAnswer(header, payload, kChannelCountFromAnswer);
  return VKT_OK;
}

VktResult JpegDeviceSession::OnData(void* data, uint32_t length) {
  const auto* packet = static_cast<const uint8_t*>(data);
  // Recorded as received, whatever becomes of it in the pool.
  if (recorder_.IsOpen() && PictureChannel(packet, length) == static_cast<int32_t>(recorder_.Channel()) &&
      !recorder_.Write(packet, length, PictureClockMicros())) {
    const std::string error = recorder_.ErrorText();
    recorder_.Stop();
    SdkDebugLine("recording stopped: %s", error.c_str());
    PostEvent(VKT_EVENT_RECORD_STOPPED, static_cast<int32_t>(recorder_.Channel()), 0, 0, error.c_str());
  }
  // The owner's thread only queues the picture: decoding it here would let
  // the device take the application's thread.
  pool_.Submit(packet, length);
  return VKT_OK;
}

VktResult JpegDeviceSession::RecordPictures(uint32_t channel, const char* fileName) {
  if (channel >= kChannelSlots) return VKT_ERR_PARAMETER;
  if (!fileName) {
    recorder_.Stop();
    return VKT_OK;
  }
  return recorder_.Start(fileName, channel) ? VKT_OK : VKT_ERR_PARAMETER;
}

VktResult JpegDeviceSession::RequestVideo() {
  // Each tick asks only for the channels whose workers keep up: a picture
  // for a channel that already has one waiting would replace it undecoded,
  // its transfer and copy wasted. A tick with none to ask for sends nothing.
  const uint32_t ready = pool_.ChannelsReadyForPictures(channelMask);
  return ready ? SendPictureRequest(ready) : VKT_OK;
}

VktResult JpegDeviceSession::SendPictureRequest(uint32_t mask) {
  PictureRequest request{0, mask, 0};
  if (!sendPacketDataRemoteSocket(transport, PKT_PICTURE_REQUEST, reinterpret_cast<uint8_t*>(&request),
                                  sizeof request)) {
    return VKT_ERR_TRANSPORT;
  }
  pool_.NoteRequest(mask);
  return VKT_OK;
}

void JpegDeviceSession::PictureShown(int channel, uint32_t width, uint32_t height) {
  Events().NotePicture(window, static_cast<uint32_t>(channel), width, height);
}

void JpegDeviceSession::PicturesLost(int, uint32_t count) { Events().NoteDropped(window, count); }

uint32_t JpegDeviceSession::UsableChannels() const {
  return serverInfo.channelCount < kChannelSlots ? serverInfo.channelCount : kChannelSlots;
}

UINT JpegDeviceSession::PicturePeriodMs() const {
  // Channels from 4 up do not speed the timer; alone they get the
  // one-channel rate.
  const UINT count = static_cast<UINT>(std::popcount(channelMask & kTimedChannelsMask));
  return (1000 / (count ? count : 1)) / 40;
}

VktResult JpegDeviceSession::OpenChannel(uint32_t channel, HWND videoWindow) {
  if (ConnectionLost()) return VKT_ERR_NOT_CONNECTED;
  if (channel >= UsableChannels()) return VKT_ERR_PARAMETER;
  // Without memory for a renderer the channel stays as it was.
  auto* renderer = new (std::nothrow) VideoRenderer();
  if (!renderer) return VKT_ERR_PARAMETER;
  renderer->Initialize();
  renderer->Configure(videoWindow, kChannelPictureWidth, kChannelPictureHeight, kFormatRgb);
  if (drawCallbacks_[channel]) renderer->SetDrawCallback(drawCallbacks_[channel], drawContexts_[channel]);
  const VktResult result = StartChannel(channel, renderer, 0);
  ClaimChannelWindow(this, channel, videoWindow);
  return result;
}

VktResult JpegDeviceSession::OpenChannelWithoutWindow(uint32_t channel, uint32_t reduction) {
  if (ConnectionLost()) return VKT_ERR_NOT_CONNECTED;
  if (channel >= UsableChannels() || !IsPictureReduction(reduction)) return VKT_ERR_PARAMETER;
  const VktResult result = StartChannel(channel, nullptr, reduction);
  ClaimChannelWindow(this, channel, nullptr);
  return result;
}

VktResult JpegDeviceSession::StartChannel(uint32_t channel, VideoRenderer* renderer, uint32_t reduction) {
  DestroyRenderer(channel);
  renderers[channel] = renderer;
  pool_.OpenChannel(static_cast<int>(channel), renderer, reduction);

  channelMask |= 1u << channel;
  Events().ForgetPicture(channel);
  SetTimer(window, PICTURE_TIMER_ID, PicturePeriodMs(), nullptr);
  // The first request goes out at once and names every open channel.
  return SendPictureRequest(channelMask);
}

VktResult JpegDeviceSession::SetDrawCallback(uint32_t channel, DrawCallback callback, void* context) {
  if (channel >= kChannelSlots) return VKT_ERR_PARAMETER;
  // No built-in drawing here: nothing and null are the same.
  drawCallbacks_[channel] = DrawsNothing(callback) ? nullptr : callback;
  drawContexts_[channel] = context;
  // The renderer takes it under its own lock, between two pictures.
  if (renderers[channel]) renderers[channel]->SetDrawCallback(drawCallbacks_[channel], context);
  return VKT_OK;
}

VktResult JpegDeviceSession::SetPictureCallback(uint32_t channel, VKT_PictureCallback callback, void* user) {
  if (channel >= kChannelSlots) return VKT_ERR_PARAMETER;
  pool_.SetPictureCallback(static_cast<int>(channel), this, callback, user);
  return VKT_OK;
}

VktResult JpegDeviceSession::SavePicture(uint32_t channel, const char* fileName) {
  if (channel >= kChannelSlots) return VKT_ERR_PARAMETER;
  const SnapshotFormat format = SnapshotFormatOf(fileName);
  if (format == SnapshotFormat::kUnknown) return VKT_ERR_PARAMETER;
  std::vector<uint8_t> packet;
  uint32_t divisor = 1;
  if (!pool_.LastPicture(static_cast<int>(channel), packet, divisor)) return VKT_ERR_PARAMETER;
  const bool saved = format == SnapshotFormat::kJpeg ? WriteBytesFile(fileName, packet.data(), packet.size())
                                                     : SaveJpegPacketAsBmp(packet, divisor, fileName);
  return saved ? VKT_OK : VKT_ERR_PARAMETER;
}

bool JpegDeviceSession::PictureCounts(uint32_t channel, ChannelPictureCounts& counts) const {
  if (channel >= kChannelSlots) return false;
  counts = pool_.Counts(static_cast<int>(channel));
  return true;
}

VktResult JpegDeviceSession::CloseChannel(uint32_t channel) {
  if (channel >= UsableChannels()) return VKT_ERR_PARAMETER;
  DestroyRenderer(channel);
  channelMask &= ~(1u << channel);
  // The period stays as it was until a channel opens again.
  if (channelMask == 0) KillTimer(window, PICTURE_TIMER_ID);
  return VKT_OK;
}

VktResult JpegDeviceSession::OnMessage(uint32_t message, WPARAM, LPARAM) {
  // Requests have nowhere to go once the device is gone; the renderers keep
  // the last pictures until the channels are closed.
  if (message == WM_TRANSPORT_CLOSE && ConnectionLost()) {
    KillTimer(window, PICTURE_TIMER_ID);
    // The loss is told after the last picture: none is drawn after it.
    pool_.Settle();
  }
  return VKT_OK;
}

void JpegDeviceSession::ResumeAfterReconnect() {
  if (channelMask == 0) return;
  pool_.ForgetRequests();
  SetTimer(window, PICTURE_TIMER_ID, PicturePeriodMs(), nullptr);
  RequestVideo();
}

void JpegDeviceSession::DestroyRenderer(uint32_t channel) {
  // Returns once no worker draws through the renderer.
  pool_.CloseChannel(static_cast<int>(channel));
  delete renderers[channel];
  renderers[channel] = nullptr;
  ReleaseChannelWindow(this, channel);
}

void JpegDeviceSession::Close() {
  pool_.Shutdown();
  for (uint32_t channel = 0; channel < kChannelSlots; ++channel) DestroyRenderer(channel);
  ReleaseTransport();
}

void JpegDeviceSession::ReleaseTransport() {
  if (transport) {
    if (connected) disconnectRemoteSocket(transport);
    destroyRemoteSocket(transport);
    transport = nullptr;
    connected = 0;
  }
}
