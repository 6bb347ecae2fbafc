// JpegDeviceSession: device kind 7100, reached through RemoteSocket.
//
// The device serves up to sixteen channels of single JPEG pictures. The
// session asks for them: a window timer on the hidden window fires at a rate
// that grows with the number of open channels, and each tick sends one
// picture request naming the open channels in a bit mask. Each picture that
// comes back is decoded and drawn into its channel's renderer. Everything
// runs on the thread that created the session.
#pragma once
#include <cstddef>

#include "device_session.h"

// The picture request timer on the hidden window.
constexpr UINT_PTR PICTURE_TIMER_ID = 1032;
enum : uint16_t { PKT_PICTURE_REQUEST = 2 };

class JpegDeviceSession : public DeviceSession {
 public:
  JpegDeviceSession() : DeviceSession(VKT_KIND_JPEG) {}
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

 private:
  // The timer period for the channels open now.
  UINT PicturePeriodMs() const;
  // The channels the session can serve: the device's count, at most the
  // sixteen slots.
  uint32_t UsableChannels() const;
  void DestroyRenderer(uint32_t channel);
  // Disconnects (while connected) and destroys the connection object.
  void ReleaseTransport();

  // Bytes held by pictureBuffer.
  size_t pictureBufferBytes_ = 0;
};
