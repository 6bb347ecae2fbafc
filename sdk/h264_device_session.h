// H264DeviceSession: the kind-5200 device. It talks to the device through
// NVSRemoteSocket, receives one channel of H.264 video in "qbox" boxes
// behind "rvdx" stream headers, has it decoded by DecodeSDK and draws the
// pictures with the device time and recording dot over them. It is the one
// kind that records its stream to a file.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "channel_picture_counts.h"
#include "decoder_api.h"
#include "decoder_feed.h"
#include "device_session.h"
#include "h264_bridge.h"
#include "latency_window.h"
#include "overlay.h"
#include "picture_callback.h"
#include "picture_snapshot.h"
#include "recording_writer.h"
#include "stream_parser.h"

// Packets of this kind.
enum : uint16_t {
  PKT_CONTROL = 19,
  PKT_STREAM_START = 82,
  PKT_DEVICE_TIME = 83,
  PKT_STREAM_STOP = 84,
  PKT_READY = 85,
  PKT_LOGIN_DONE = 86,
};

class H264DeviceSession : public DeviceSession, public OverlaySource, public PictureSink {
 public:
  H264DeviceSession();
  ~H264DeviceSession() override;

  VktResult Notify(PacketHeader* header, void* payload) override;
  VktResult Connect(const char* address, int32_t port, const char* user, const char* password) override;
  VktResult OnData(void* data, uint32_t length) override;
  VktResult RequestVideo() override;
  VktResult OpenChannel(uint32_t channel, HWND videoWindow) override;
  VktResult CloseChannel(uint32_t channel) override;
  void Close() override;
  VktResult OnMessage(uint32_t message, WPARAM wParam, LPARAM lParam) override;
  VktResult SetDrawCallback(uint32_t channel, DrawCallback callback, void* context) override;
  VktResult StopRecord(uint32_t channel) override;
  VktResult StartRecord(uint32_t channel, const char* fileName) override;
  VktResult SendControl(int32_t value1, int32_t value2) override;
  void ResumeAfterReconnect() override;
  // VKT_ContinueRecord: the recording goes on in `fileName` from the
  // stream's next header.
  VktResult ContinueRecord(uint32_t channel, const char* fileName);
  VktResult SetPictureCallback(uint32_t channel, VKT_PictureCallback callback, void* user) override;
  VktResult OpenChannelWithoutWindow(uint32_t channel, uint32_t reduction) override;
  VktResult SavePicture(uint32_t channel, const char* fileName) override;
  bool PictureCounts(uint32_t channel, ChannelPictureCounts& counts) const override;

  // PictureSink: a decoded picture from the decoding library.
  int32_t OnPicture(const DecodedPicture* picture) override;
  // OverlaySource.
  SYSTEMTIME OverlayDeviceTime() const override;
  bool OverlayIsRecording() const override;

  // Fields, in record order.
  int32_t audioDecoder;
  int32_t videoDecoder;
  int32_t prefixPending;
  int32_t parameterSetsExtracted;
  int32_t keyFrameSeen;
  std::atomic<int32_t> streaming;
  DrawCallback drawCallback;
  void* drawContext;
  RecordingWriter recorder;  // recordStarted, recordedBytes, lastHeaderPosition
  uint8_t* streamBuffer;
  uint8_t* frameBuffer;
  DecodeRequest decodeRequest;
  SYSTEMTIME deviceTime;
  OutputBitmapFormat bitmapInfo;
  HWND displayWindow;
  // Carries the video boxes to the decoding thread; its PicturesDropped()
  // counts the pictures dropped because decoding fell behind the stream.
  DecoderFeed videoFeed;
  // Video boxes dropped because their Annex-B form would be cut (a box over
  // kMaxStreamBufferSize, a unit longer than its box); application thread.
  uint64_t picturesNotConverted = 0;

 private:
  // False when the header block brings no parameter sets the session can use.
  bool TakeParameterSets(const uint8_t* header, const uint8_t* body, uint32_t bodyLength);
  void DispatchBox(const QboxHeader& box, const uint8_t* at);
  void DecodeVideoBox(const QboxHeader& box, const uint8_t* at);
  // Makes the stream buffer hold at least `bytes` (at most
  // kMaxStreamBufferSize); false when it cannot.
  bool ReserveStreamBuffer(size_t bytes);
  // The feed's decode function: runs on the decoding thread.
  static void DecodeOnFeedThread(void* session, uint8_t* input, uint32_t length, const BoxStamp& stamp);
  // Both ways of opening channel 0: into a window, or without one.
  VktResult StartChannel(HWND videoWindow, bool withoutWindow);
  // The renderer's draw callback for what the application set: the
  // built-in overlay for null, none for VKT_DRAW_NOTHING.
  void ApplyDrawCallback(VideoRenderer& renderer);
  // Hands a decoded picture to the application's callback and keeps it
  // for a snapshot (decoding thread).
  void DeliverPicture(const DecodedPicture& picture, uint32_t width, uint32_t height);
  // Counts one picture's outcome under countsLock_ (decoding thread).
  void CountPicture(bool delivered, uint64_t deliveredAt, bool shown, uint64_t shownAt);
  // Makes videoDecoder and registers the picture callback.
  void OpenVideoDecoder();
  // On the decoding thread, after the library faulted.
  void ReplaceFaultedDecoder();
  // Tells the overlay, which draws on the decoding thread, whether the
  // recording file is open; called after every start and stop.
  void PublishRecordingState();
  void DestroyRenderer();
  // Disconnects (while connected) and destroys the connection object.
  void ReleaseTransport();

  // Held while a picture is drawn through renderers[0] on the decoding
  // thread; the window thread takes it to delete the renderer, to clear
  // `streaming` for good and to change what the drawing reads (the window,
  // the draw callback, the device time), so nothing is drawn through a
  // deleted renderer or after the channel closed.
  CRITICAL_SECTION rendererLock_;
  std::atomic<bool> recording_{false};  // read by the overlay on the decoding thread
  bool decodersCreated_ = false;
  uint32_t streamBufferSize_ = 0;
  ParameterSets parameterSets_;  // the stream's latest, put in front of the first box decoded after them

  // Pictures for the application. The stamp of the box being decoded is
  // the decoding thread's; the box numbers are the window thread's.
  bool withoutWindow_ = false;  // under rendererLock_: decode for the picture callback only
  BoxStamp decodingStamp_;
  uint64_t videoBoxes_ = 0;
  PictureCallback pictureCallback_;
  LastPicture lastPicture_;
  mutable std::mutex countsLock_;
  ChannelPictureCounts counts_;
  LatencyWindow toBlit_;
  LatencyWindow toCallback_;
};
