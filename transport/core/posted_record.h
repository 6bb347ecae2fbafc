// The heap records behind the messages a connection posts: a notification
// record (PacketHeader + payload) or a data record (DataBlock + data). The
// window procedure reads them through wParam/lParam; the platform calls
// the release callback once the procedure has returned or the message was
// discarded, which frees the record and refunds the connection's budget.
// Records own everything they point to and share the budget, so they stay
// valid after their connection is destroyed.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "flow_budget.h"
#include "sdk/transport_api.h"
#include "wire/frame.h"

namespace vkt::transport {

// What distinguishes the two libraries on the message side.
struct TransportProfile {
  const char* name;    // for debug lines
  UINT notifyMessage;  // 1425 or 1645
  UINT dataMessage;    // 1427 or 1647
};

// Zero bytes after every payload: a handler that reads a fixed-size record
// out of a short payload reads zeros instead of foreign heap.
inline constexpr size_t kPayloadTail = 64;

class PostedRecord {
 public:
  // Charges the budget (waiting while it is spent) and allocates the record
  // for a frame with this header. Null when the budget was stopped or the
  // allocation failed; `stopped` tells which.
  static PostedRecord* reserve(const std::shared_ptr<FlowBudget>& budget, const wire::FrameHeader& header,
                               bool& stopped);

  uint8_t* payload() { return payload_.get(); }

  // Posts the record to `window`; ownership passes to the platform, or the
  // record is discarded at once when the post fails.
  static void post(PostedRecord* record, HWND window, const TransportProfile& profile);

  // The release callback (also used for records that never got posted).
  static void discard(void* record);

 private:
  PostedRecord(std::shared_ptr<FlowBudget> budget, size_t charge, const wire::FrameHeader& header,
               std::unique_ptr<uint8_t[]> payload);

  std::shared_ptr<FlowBudget> budget_;
  size_t charge_;
  bool isData_;
  PacketHeader header_;
  DataBlock block_;
  std::unique_ptr<uint8_t[]> payload_;
};

}  // namespace vkt::transport
