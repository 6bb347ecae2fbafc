// JpegDeviceSession: device kind 7100, reached through RemoteSocket.
//
// The device serves up to sixteen channels of single JPEG pictures. The
// session asks for them: a window timer on the hidden window fires at a rate
// that grows with the number of open channels, and each tick sends one
// picture request naming in a bit mask the open channels that can take a
// picture (none waiting to be decoded). Each picture that comes back is
// handed to the session's decode pool, whose workers decode and draw it into
// its channel's renderer; everything else runs on the thread that created
// the session, which only queues pictures.
#pragma once
#include "channel_picture_counts.h"
#include "device_session.h"
#include "jpeg_decode_pool.h"
#include "picture_recording_writer.h"

// The picture request timer on the hidden window.
constexpr UINT_PTR PICTURE_TIMER_ID = 1032;
enum : uint16_t { PKT_PICTURE_REQUEST = 2 };

class JpegDeviceSession : public DeviceSession, private JpegPoolObserver {
 public:
  JpegDeviceSession() : DeviceSession(VKT_KIND_JPEG), pool_(0, this) {}
  ~JpegDeviceSession() override;

  VktResult Notify(PacketHeader* header, void* payload) override;
  VktResult Connect(const char* address, int32_t port, const char* user, const char* password) override;
  VktResult OnData(void* data, uint32_t length) override;
  VktResult RequestVideo() override;
  VktResult OpenChannel(uint32_t channel, HWND videoWindow) override;
  VktResult CloseChannel(uint32_t channel) override;
  void Close() override;
  VktResult OnMessage(uint32_t message, WPARAM wParam, LPARAM lParam) override;
  void ResumeAfterReconnect() override;
  VktResult SetDrawCallback(uint32_t channel, DrawCallback callback, void* context) override;
  VktResult SetPictureCallback(uint32_t channel, VKT_PictureCallback callback, void* user) override;
  VktResult OpenChannelWithoutWindow(uint32_t channel, uint32_t reduction) override;
  VktResult SavePicture(uint32_t channel, const char* fileName) override;
  VktResult RecordPictures(uint32_t channel, const char* fileName) override;
  bool PictureCounts(uint32_t channel, ChannelPictureCounts& counts) const override;

 private:
  // The timer period for the channels open now.
  UINT PicturePeriodMs() const;
  // The channels the session can serve: the device's count, at most the
  // sixteen slots.
  uint32_t UsableChannels() const;
  void DestroyRenderer(uint32_t channel);
  // Both ways of opening: with a renderer, or without one at `reduction`.
  VktResult StartChannel(uint32_t channel, VideoRenderer* renderer, uint32_t reduction);
  // Sends one picture request for the channels in `mask`.
  VktResult SendPictureRequest(uint32_t mask);
  // Disconnects (while connected) and destroys the connection object.
  void ReleaseTransport();
  // The pool's word on each picture becomes the handle's events; a
  // picture for a channel that is not open is no loss and says nothing.
  void PictureShown(int channel, uint32_t width, uint32_t height) override;
  void PicturesLost(int channel, uint32_t count) override;

  // Decodes and draws the pictures; owns the renderers between a channel's
  // opening and its closing, and is drained before either returns.
  JpegDecodePool pool_;
  // The application's draw callback of each channel, given to each renderer
  // the channel opens with; null draws nothing (this kind has no overlay).
  DrawCallback drawCallbacks_[kChannelSlots] = {};
  void* drawContexts_[kChannelSlots] = {};
  // One channel's pictures as received, on this thread.
  PictureRecordingWriter recorder_;
};
