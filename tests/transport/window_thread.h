// Test helper: a thread that owns a hidden window and runs its message
// loop, recording what the transports post to it. Data blocks are handed
// to an inspector on the window thread (and only their length recorded),
// so large transfers need not be copied.
#pragma once
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vkt::test {

struct ObservedMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  uint16_t packetType = 0;       // notifications
  std::vector<uint8_t> payload;  // notifications
  uint32_t dataLength = 0;       // data blocks
};

class WindowThread {
 public:
  using DataInspector = std::function<void(const uint8_t* data, uint32_t length)>;

  // `dataDelay`: time each data message takes to handle, to play a slow
  // window thread.
  explicit WindowThread(DataInspector inspector = nullptr,
                        std::chrono::milliseconds dataDelay = std::chrono::milliseconds(0));
  ~WindowThread();
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  HWND window() const { return window_; }

  // Waits until `done` holds for the messages seen so far.
  bool waitUntil(const std::function<bool(const std::vector<ObservedMessage>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(15));
  bool waitForCount(UINT message, size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(15));
  std::vector<ObservedMessage> messages();
  size_t count(UINT message);

  // Runs `task` on the window thread, from inside its message loop, and
  // waits for it to finish.
  void runOnWindowThread(const std::function<void()>& task);

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void threadMain();
  void record(UINT message, WPARAM wParam, LPARAM lParam);

  const DataInspector inspector_;
  const std::chrono::milliseconds dataDelay_;
  std::thread thread_;
  HWND window_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ObservedMessage> messages_;
  bool ready_ = false;
};

}  // namespace vkt::test
