// DecoderFeed: carries a kind-5200 session's video boxes, already in
// Annex-B form, from the application's thread to a decoding thread of the
// session's own, so that a stream the machine cannot decode in real time
// never holds up the thread that runs the application's windows (and its
// recording, which stays on that thread and keeps every byte).
//
// The decoding thread calls the decode function for each box in order; the
// decoder's picture callback runs there and draws through the renderer's
// lock. When decoding falls behind (kMaxPendingBoxes boxes or
// kMaxPendingBytes waiting), the boxes that follow are dropped up to the
// next key picture, since a picture decoded after a missing one is
// corrupt; a key picture that finds the queue still full replaces what
// waits. Every box dropped so is counted, and each run of drops writes one
// debug line. A key picture that decoding restarts at gets the stream's
// parameter sets in front, since the box that carried them may have been
// among those dropped.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "h264_bridge.h"

// What a box brings along to the pictures it decodes into.
struct BoxStamp {
  uint32_t deviceTime = 0;     // the box's timestamp, as the device sent it
  uint64_t arrivalMicros = 0;  // PictureClockMicros when the block came
  uint64_t sequence = 0;       // its number among the channel's video boxes
};

class DecoderFeed {
 public:
  // Runs on the decoding thread for every box taken: `length` bytes of
  // Annex-B data at `input`, and the box's stamp.
  typedef void (*DecodeFunction)(void* context, uint8_t* input, uint32_t length, const BoxStamp& stamp);

  // About a second of pictures at the devices' 25 per second.
  static constexpr size_t kMaxPendingBoxes = 25;
  // Four of the largest boxes a session converts (kMaxStreamBufferSize,
  // h264_bridge.h), so a stream of large pictures still has one waiting.
  static constexpr size_t kMaxPendingBytes = 4 * size_t{kMaxStreamBufferSize};

  DecoderFeed(DecodeFunction decode, void* context) : decode_(decode), context_(context) {}
  ~DecoderFeed() { Stop(); }
  DecoderFeed(const DecoderFeed&) = delete;
  DecoderFeed& operator=(const DecoderFeed&) = delete;

  // Queues a copy of the box for decoding (the thread starts with the first
  // box); never waits for the decoder. `parameterSets` (Annex-B) go in
  // front of a key picture that decoding restarts at. False when the box
  // was dropped.
  bool Submit(const uint8_t* annexB, size_t length, bool keyPicture, const std::vector<uint8_t>& parameterSets,
              const BoxStamp& stamp = {});
  // Forgets the boxes not yet decoded (the channel closed); decoding
  // resumes at the next key picture. Those boxes are not counted as drops;
  // returns how many there were.
  size_t DiscardPending();
  // From the decode function, after a box whose loss breaks the pictures
  // that follow it (the decoder faulted and was made anew): forgets what
  // waits, and decoding resumes at the next key picture, with the
  // parameter sets in front. Those boxes are not counted as drops;
  // returns how many there were.
  size_t RestartAtKeyPicture();
  // Waits until every box queued so far has been decoded.
  void WaitUntilIdle();
  // Discards what waits, lets the box in hand finish and ends the thread:
  // after it, the decode function is not called again until a new Submit.
  void Stop();

  // Boxes dropped because decoding fell behind, since the feed was made.
  uint64_t PicturesDropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  void Run();
  // With mutex_ held: empties the queue into the spare buffers; returns
  // how many boxes it held.
  size_t ClearPendingLocked();

  const DecodeFunction decode_;
  void* const context_;
  std::mutex mutex_;
  std::condition_variable wake_;  // a box queued, or stop
  std::condition_variable idle_;  // the queue ran empty with no box in hand
  struct Box {
    std::vector<uint8_t> bytes;
    BoxStamp stamp;
  };
  std::deque<Box> pending_;
  std::vector<std::vector<uint8_t>> spare_;  // buffers kept for reuse
  size_t pendingBytes_ = 0;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
  // Application thread only.
  bool skipToKey_ = false;    // boxes are dropped until a key picture
  bool countSkipped_ = false; // ...because decoding fell behind
  std::atomic<uint64_t> dropped_{0};
  std::atomic<bool> restartAtKey_{false};  // set by RestartAtKeyPicture, taken by Submit
};
