// Allocation, posting and release of message records.
#include "posted_record.h"

#include <algorithm>
#include <new>

namespace vkt::transport {

static_assert(PACKET_MAGIC == wire::kFrameMagic && PACKET_VERSION == wire::kFrameVersion &&
                  PACKET_FLAG_DATA == wire::kFlagData,
              "the message header and the wire header describe the same frame");

PostedRecord::PostedRecord(std::shared_ptr<FlowBudget> budget, size_t charge, const wire::FrameHeader& header,
                           std::unique_ptr<uint8_t[]> payload)
    : budget_(std::move(budget)), charge_(charge), isData_((header.flags & wire::kFlagData) != 0), payload_(std::move(payload)) {
  header_.magic = PACKET_MAGIC;
  header_.version = PACKET_VERSION;
  header_.flags = header.flags;
  header_.type = header.type;
  header_.payloadLength = header.payloadLength;
  header_.sequence = header.sequence;
  block_ = DataBlock{};
  block_.data = payload_.get();
  block_.length = header.payloadLength;
}

PostedRecord* PostedRecord::reserve(const std::shared_ptr<FlowBudget>& budget, const wire::FrameHeader& header,
                                    bool& stopped) {
  const size_t payloadSize = size_t{header.payloadLength} + kPayloadTail;
  const size_t charge = sizeof(PostedRecord) + payloadSize;
  stopped = !budget->acquire(charge);
  if (stopped) return nullptr;
  std::unique_ptr<uint8_t[]> payload(new (std::nothrow) uint8_t[payloadSize]);
  auto* record = payload ? new (std::nothrow) PostedRecord(budget, charge, header, std::move(payload)) : nullptr;
  if (record == nullptr) {
    budget->refund(charge);
    return nullptr;
  }
  std::fill_n(record->payload_.get() + header.payloadLength, kPayloadTail, uint8_t{0});
  return record;
}

void PostedRecord::post(PostedRecord* record, HWND window, const TransportProfile& profile) {
  // A null window would make the post a message to the reader's own thread,
  // which never retrieves it: the records would hold the budget until the
  // reader stalled. Nobody listens, so the frame is dropped.
  if (window == nullptr) {
    discard(record);
    return;
  }
  BOOL posted;
  if (record->isData_) {
    posted = PlatformPostMessageWithRelease(window, profile.dataMessage, 0, reinterpret_cast<LPARAM>(&record->block_),
                                            &PostedRecord::discard, record);
  } else {
    posted = PlatformPostMessageWithRelease(window, profile.notifyMessage, reinterpret_cast<WPARAM>(&record->header_),
                                            reinterpret_cast<LPARAM>(record->payload_.get()), &PostedRecord::discard,
                                            record);
  }
  if (!posted) discard(record);
}

void PostedRecord::discard(void* opaque) {
  auto* record = static_cast<PostedRecord*>(opaque);
  const std::shared_ptr<FlowBudget> budget = std::move(record->budget_);
  const size_t charge = record->charge_;
  delete record;
  budget->refund(charge);
}

}  // namespace vkt::transport
