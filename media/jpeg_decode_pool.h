// JpegDecodePool: the worker threads that decode and draw a kind-7100
// session's pictures, so that the thread that owns the session only
// receives a picture, queues it and returns, whatever the device sends.
//
// Threads: the session's thread calls every member; the workers decode
// and run ShowJpegPicture (jpeg_frame_path.h). Workers number one per
// processor and at most one per open channel; each keeps its own decoder
// record and picture buffer.
// A channel is decoded by one worker at a time, so its pictures are drawn
// in the order they came. At most one picture per channel waits: a newer
// one replaces it, and the older is dropped undecoded. Pictures of a
// channel that is not open, or for which no request is outstanding, are
// dropped before anything is copied. Requests follow the workers and the
// device: a channel is asked for a picture only while none waits and few
// requests are unanswered. Drawing goes through the renderer's
// own lock; the renderer belongs to the pool's workers from OpenChannel
// until CloseChannel returns. Each decoded picture goes to the channel's
// picture callback (picture_callback.h) on the worker, before it is drawn;
// a channel opened without a renderer is decoded for that callback only,
// at the reduction the application chose.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "channel_picture_counts.h"
#include "jpeg_frame_path.h"
#include "latency_window.h"
#include "picture_callback.h"

class VideoRenderer;

// Told what became of the pictures of open channels: a picture drawn (with
// the size the camera sent it at), or pictures lost (replaced while they
// waited, refused by the decoder, or not drawn). Called on the session's
// thread or on a worker's, outside the pool's lock.
class JpegPoolObserver {
 public:
  virtual void PictureShown(int channel, uint32_t width, uint32_t height) = 0;
  virtual void PicturesLost(int channel, uint32_t count) = 0;

 protected:
  ~JpegPoolObserver() = default;
};

class JpegDecodePool {
 public:
  // At most `maxWorkers` threads; 0 takes one per processor. The observer,
  // if any, outlives the pool.
  explicit JpegDecodePool(unsigned maxWorkers = 0, JpegPoolObserver* observer = nullptr);
  // Shuts down: returns once every worker has ended.
  ~JpegDecodePool();
  JpegDecodePool(const JpegDecodePool&) = delete;
  JpegDecodePool& operator=(const JpegDecodePool&) = delete;

  // Pictures of `channel` go to `renderer` (configured) from now on, or,
  // when it is null, are decoded at `reduction` (1, 2, 4 or 8) for the
  // picture callback only; a channel already open is closed first. Its
  // request count starts at 0.
  void OpenChannel(int channel, VideoRenderer* renderer, uint32_t reduction = 0);
  // The channel's picture callback; returns once a call under way ended.
  void SetPictureCallback(int channel, void* handle, VKT_PictureCallback callback, void* user);
  // A copy of the last picture of `channel` decoded, as the device sent it,
  // and the reduction it was decoded at; false before the first.
  bool LastPicture(int channel, std::vector<uint8_t>& packet, uint32_t& divisor) const;
  // Drops the channel's waiting picture and returns once no worker uses
  // its renderer: nothing draws into it afterwards.
  void CloseChannel(int channel);
  // One picture request went out for the channels in `channelMask`.
  void NoteRequest(uint32_t channelMask);
  // The open channels of `channelMask` to ask for a picture now, once per
  // timer tick: those with no picture waiting (one more would only replace
  // it) and fewer than a few requests unanswered (the device is keeping up).
  uint32_t ChannelsReadyForPictures(uint32_t channelMask);
  // Drops every waiting picture and returns once no worker decodes or
  // draws: pictures that came before a loss are all drawn or dropped before
  // the application hears of it.
  void Settle();
  // Requests sent over a connection that is gone are never answered: none
  // is outstanding any more (after a reconnection).
  void ForgetRequests();
  // Queues a copy of the packet for its channel, or drops it; the arrival
  // time is taken here.
  void Submit(const uint8_t* packet, uint32_t length);
  // Closes every channel and ends every worker; later pictures are dropped.
  void Shutdown();

  // With the latencies of the last second.
  ChannelPictureCounts Counts(int channel) const;
  // Threads running now.
  unsigned Workers() const;

 private:
  struct Worker;
  struct Slot {
    bool open = false;
    VideoRenderer* renderer = nullptr;  // while the channel is open; null without a window
    uint32_t reduction = 0;             // without a window: the reduction it is decoded at
    std::vector<uint8_t> waiting;       // the picture a worker takes next
    uint64_t waitingArrival = 0;        // PictureClockMicros when it came
    uint64_t waitingSequence = 0;       // its number among the channel's received pictures
    bool hasWaiting = false;
    std::vector<uint8_t> last;          // the last picture decoded, as sent
    uint32_t lastDivisor = 1;
    bool busy = false;  // a worker decodes or draws for the channel
    uint32_t requests = 0;       // sent and not yet answered
    uint32_t ticksHeldBack = 0;  // ticks without a request since the last answer
    ChannelPictureCounts counts;
    LatencyWindow toBlit;
    LatencyWindow toCallback;
    PictureCallback callback;  // its own lock: called outside the pool's
  };

  void Run(Worker& worker);
  // The next channel with a picture waiting and no worker on it, or -1.
  int TakeReadyChannelLocked();
  unsigned WantedWorkersLocked() const;
  // Starts workers up to the wanted number; returns the exited ones to join.
  std::vector<std::unique_ptr<Worker>> AdjustWorkersLocked();
  void CloseChannelLocked(std::unique_lock<std::mutex>& lock, int channel);

  const unsigned maxWorkers_;
  JpegPoolObserver* const observer_;
  mutable std::mutex mutex_;
  std::condition_variable work_;  // a picture waits, or workers must go
  std::condition_variable idle_;  // a worker finished a channel's picture
  Slot slots_[kPictureChannels];
  std::vector<std::unique_ptr<Worker>> workers_;
  unsigned liveWorkers_ = 0;
  int nextChannel_ = 0;  // where the search for work starts: channels take turns
  bool stopping_ = false;
};
