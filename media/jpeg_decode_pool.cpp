// The kind-7100 decode pool (see jpeg_decode_pool.h). One mutex guards the
// channel slots and the worker list; it is never held while a picture is
// decoded or drawn, and a picture packet is copied under it only once it is
// known to be wanted.
#include "jpeg_decode_pool.h"

#include <algorithm>
#include <exception>

namespace {

// Requests a channel may have in flight: the device answers each with one
// picture, possibly late. No more are sent while this many are unanswered,
// so a device slower than the timer never builds up a backlog, and a
// picture beyond them is one nobody asked for.
constexpr uint32_t kRequestsOutstanding = 4;
// Timer ticks a channel waits, held back by unanswered requests, before
// they count as lost (a device that drops requests must not stop the
// channel for good).
constexpr uint32_t kTicksBeforeRequestsLost = 100;

unsigned ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count ? count : 1;
}

}  // namespace

struct JpegDecodePool::Worker {
  std::thread thread;
  bool exited = false;
  JpegPictureDecoder decoder;
  std::vector<uint8_t> packet;  // the picture being decoded; swapped with a slot's
};

JpegDecodePool::JpegDecodePool(unsigned maxWorkers, JpegPoolObserver* observer)
    : maxWorkers_(maxWorkers ? maxWorkers : ProcessorCount()), observer_(observer) {}

JpegDecodePool::~JpegDecodePool() { Shutdown(); }

unsigned JpegDecodePool::WantedWorkersLocked() const {
  if (stopping_) return 0;
  const unsigned open = static_cast<unsigned>(
      std::count_if(std::begin(slots_), std::end(slots_), [](const Slot& slot) { return slot.open; }));
  return std::min(open, maxWorkers_);
}

std::vector<std::unique_ptr<JpegDecodePool::Worker>> JpegDecodePool::AdjustWorkersLocked() {
  std::vector<std::unique_ptr<Worker>> exited;
  for (auto it = workers_.begin(); it != workers_.end();) {
    if ((*it)->exited) {
      exited.push_back(std::move(*it));
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
  // Workers beyond the wanted number end by themselves once idle.
  while (liveWorkers_ < WantedWorkersLocked()) {
    try {
      workers_.reserve(workers_.size() + 1);
      auto worker = std::make_unique<Worker>();
      Worker& started = *worker;
      started.thread = std::thread([this, &started] { Run(started); });
      workers_.push_back(std::move(worker));
      ++liveWorkers_;
    } catch (const std::exception&) {
      break;  // fewer workers: pictures still flow while one runs
    }
  }
  work_.notify_all();
  return exited;
}

void JpegDecodePool::OpenChannel(int channel, VideoRenderer* renderer, uint32_t reduction) {
  if (channel < 0 || channel >= kPictureChannels || (!renderer && !IsPictureReduction(reduction))) return;
  std::vector<std::unique_ptr<Worker>> exited;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) return;
    CloseChannelLocked(lock, channel);
    Slot& slot = slots_[channel];
    slot.open = true;
    slot.renderer = renderer;
    slot.reduction = renderer ? 0 : reduction;
    slot.callback.Start();
    exited = AdjustWorkersLocked();
  }
  for (auto& worker : exited) worker->thread.join();
}

void JpegDecodePool::CloseChannel(int channel) {
  if (channel < 0 || channel >= kPictureChannels) return;
  std::unique_lock<std::mutex> lock(mutex_);
  CloseChannelLocked(lock, channel);
  work_.notify_all();  // surplus workers may end
}

void JpegDecodePool::CloseChannelLocked(std::unique_lock<std::mutex>& lock, int channel) {
  Slot& slot = slots_[channel];
  slot.open = false;
  slot.renderer = nullptr;
  slot.requests = 0;
  slot.ticksHeldBack = 0;
  if (slot.hasWaiting) ++slot.counts.unwanted;
  slot.hasWaiting = false;
  idle_.wait(lock, [&] { return !slot.busy; });
  slot.callback.Stop();
}

void JpegDecodePool::SetPictureCallback(int channel, void* handle, VKT_PictureCallback callback, void* user) {
  if (channel >= 0 && channel < kPictureChannels) slots_[channel].callback.Set(handle, callback, user);
}

bool JpegDecodePool::LastPicture(int channel, std::vector<uint8_t>& packet, uint32_t& divisor) const {
  if (channel < 0 || channel >= kPictureChannels) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  const Slot& slot = slots_[channel];
  if (slot.last.empty()) return false;
  try {
    packet = slot.last;
  } catch (const std::bad_alloc&) {
    return false;
  }
  divisor = slot.lastDivisor;
  return true;
}

void JpegDecodePool::NoteRequest(uint32_t channelMask) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int channel = 0; channel < kPictureChannels; ++channel) {
    Slot& slot = slots_[channel];
    if ((channelMask >> channel & 1) && slot.open)
      slot.requests = std::min(slot.requests + 1, kRequestsOutstanding);
  }
}

void JpegDecodePool::Settle() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (slot.hasWaiting) ++slot.counts.unwanted;
    slot.hasWaiting = false;
  }
  idle_.wait(lock, [this] {
    return std::none_of(std::begin(slots_), std::end(slots_), [](const Slot& slot) { return slot.busy; });
  });
}

void JpegDecodePool::ForgetRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) slot.requests = slot.ticksHeldBack = 0;
}

uint32_t JpegDecodePool::ChannelsReadyForPictures(uint32_t channelMask) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t ready = 0;
  for (int channel = 0; channel < kPictureChannels; ++channel) {
    Slot& slot = slots_[channel];
    if (!(channelMask >> channel & 1) || !slot.open || slot.hasWaiting) continue;
    if (slot.requests == kRequestsOutstanding && ++slot.ticksHeldBack > kTicksBeforeRequestsLost) {
      slot.requests = 0;
      slot.ticksHeldBack = 0;
    }
    if (slot.requests < kRequestsOutstanding) ready |= 1u << channel;
  }
  return ready;
}

void JpegDecodePool::Submit(const uint8_t* packet, uint32_t length) {
  const int32_t channel = PictureChannel(packet, length);
  if (channel == kPictureDropped) return;
  const uint64_t arrival = PictureClockMicros();
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[channel];
  ++slot.counts.received;
  if (!slot.open || slot.requests == 0) {
    ++slot.counts.unwanted;
    return;
  }
  --slot.requests;
  slot.ticksHeldBack = 0;
  const bool replacing = slot.hasWaiting;
  if (replacing) ++slot.counts.replaced;
  bool queued = true;
  try {
    slot.waiting.assign(packet, packet + length);
  } catch (const std::bad_alloc&) {
    ++slot.counts.unwanted;
    queued = false;
  }
  slot.hasWaiting = queued;
  slot.waitingArrival = arrival;
  slot.waitingSequence = slot.counts.received;
  if (queued) work_.notify_one();
  lock.unlock();
  const uint32_t lost = (replacing ? 1 : 0) + (queued ? 0 : 1);
  if (lost && observer_) observer_->PicturesLost(channel, lost);
}

int JpegDecodePool::TakeReadyChannelLocked() {
  for (int step = 0; step < kPictureChannels; ++step) {
    const int channel = (nextChannel_ + step) % kPictureChannels;
    const Slot& slot = slots_[channel];
    if (slot.hasWaiting && !slot.busy && slot.open) {
      nextChannel_ = (channel + 1) % kPictureChannels;
      return channel;
    }
  }
  return -1;
}

void JpegDecodePool::Run(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (liveWorkers_ > WantedWorkersLocked()) break;
    const int channel = TakeReadyChannelLocked();
    if (channel < 0) {
      work_.wait(lock);
      continue;
    }
    Slot& slot = slots_[channel];
    // The slot keeps the worker's old buffer for the next picture: a
    // steady stream reuses both.
    worker.packet.swap(slot.waiting);
    slot.hasWaiting = false;
    slot.busy = true;
    VideoRenderer* const renderer = slot.renderer;
    const uint32_t reduction = slot.reduction;
    const uint64_t arrival = slot.waitingArrival;
    const uint64_t sequence = slot.waitingSequence;
    lock.unlock();

    JpegPicture picture;
    const bool decoded =
        worker.decoder.Decode(worker.packet.data(), static_cast<uint32_t>(worker.packet.size()),
                              renderer ? RendererShownSize(*renderer) : kShowFullSize, picture, reduction);
    bool delivered = false;
    uint64_t deliveredAt = 0;
    if (decoded) {
      VKT_PICTURE view{};
      view.channel = static_cast<uint32_t>(channel);
      view.width = picture.width;
      view.height = picture.height;
      view.stride = picture.width * 3;
      view.pixels = picture.pixels;
      view.timestamp = arrival;
      view.sequence = sequence;
      delivered = slot.callback.Deliver(view);
      deliveredAt = PictureClockMicros();
    }
    const int32_t drawn = decoded && renderer ? ShowJpegPicture(picture, *renderer) : kPictureDropped;
    const uint64_t drawnAt = PictureClockMicros();
    // Without a window a picture is presented once decoded.
    const bool presented = renderer ? drawn == 0 : decoded;
    if (observer_) {
      if (presented)
        observer_->PictureShown(channel, picture.sourceWidth, picture.sourceHeight);
      else
        observer_->PicturesLost(channel, 1);
    }
    lock.lock();
    ChannelPictureCounts& counts = slot.counts;
    if (decoded) {
      ++counts.decoded;
      counts.shown += drawn == 0;
      counts.width = picture.sourceWidth;
      counts.height = picture.sourceHeight;
      counts.decodedWidth = picture.width;
      counts.decodedHeight = picture.height;
      if (delivered) {
        ++counts.delivered;
        slot.toCallback.Add(arrival, deliveredAt);
      }
      if (drawn == 0) slot.toBlit.Add(arrival, drawnAt);
      // Kept for a snapshot; the slot's previous one goes back to the worker.
      slot.last.swap(worker.packet);
      slot.lastDivisor = picture.divisor;
    } else {
      ++counts.failed;
    }
    slot.busy = false;
    idle_.notify_all();
  }
  --liveWorkers_;
  worker.exited = true;
}

void JpegDecodePool::Shutdown() {
  std::vector<std::unique_ptr<Worker>> workers;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    for (int channel = 0; channel < kPictureChannels; ++channel) CloseChannelLocked(lock, channel);
    work_.notify_all();
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker->thread.join();
}

ChannelPictureCounts JpegDecodePool::Counts(int channel) const {
  if (channel < 0 || channel >= kPictureChannels) return {};
  std::lock_guard<std::mutex> lock(mutex_);
  const Slot& slot = slots_[channel];
  ChannelPictureCounts counts = slot.counts;
  const uint64_t now = PictureClockMicros();
  counts.toBlit = slot.toBlit.Figures(now);
  counts.toCallback = slot.toCallback.Figures(now);
  return counts;
}

unsigned JpegDecodePool::Workers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return liveWorkers_;
}
