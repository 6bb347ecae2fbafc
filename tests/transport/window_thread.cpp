// Hidden-window message loop thread for the transport tests.
#include "window_thread.h"

#include "sdk/transport_api.h"

namespace vkt::test {
namespace {
constexpr UINT kRunTask = WM_USER + 1;
constexpr UINT kQuit = WM_USER + 2;
constexpr char kClassName[] = "VktTransportTestWindow";
}  // namespace

WindowThread::WindowThread(DataInspector inspector, std::chrono::milliseconds dataDelay)
    : inspector_(std::move(inspector)), dataDelay_(dataDelay) {
  thread_ = std::thread(&WindowThread::threadMain, this);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return ready_; });
}

WindowThread::~WindowThread() {
  PostMessageA(window_, kQuit, 0, 0);
  thread_.join();
}

void WindowThread::threadMain() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &WindowThread::procedure;
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);  // fails harmlessly once registered
  HWND window = CreateWindowExA(0, kClassName, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, nullptr, this);
  {
    std::lock_guard lock(mutex_);
    window_ = window;
    ready_ = true;
  }
  changed_.notify_all();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == kQuit) break;
    DispatchMessageA(&message);
  }
  DestroyWindow(window);
}

LRESULT CALLBACK WindowThread::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  } else if (auto* self = reinterpret_cast<WindowThread*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
    if (message == kRunTask)
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
    else if (message > WM_USER)
      self->record(message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void WindowThread::record(UINT message, WPARAM wParam, LPARAM lParam) {
  ObservedMessage observed;
  observed.message = message;
  observed.wParam = wParam;
  if (message == WM_TRANSPORT_NOTIFY || message == WM_TRANSPORT_NOTIFY2) {
    const auto* header = reinterpret_cast<const PacketHeader*>(wParam);
    const auto* payload = reinterpret_cast<const uint8_t*>(lParam);
    observed.packetType = header->type;
    observed.payload.assign(payload, payload + header->payloadLength);
  } else if (message == WM_TRANSPORT_DATA || message == WM_TRANSPORT_DATA2) {
    const auto* block = reinterpret_cast<const DataBlock*>(lParam);
    observed.dataLength = block->length;
    if (inspector_) inspector_(block->data, block->length);
    if (dataDelay_.count() > 0) std::this_thread::sleep_for(dataDelay_);
  }
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(observed));
  }
  changed_.notify_all();
}

bool WindowThread::waitUntil(const std::function<bool(const std::vector<ObservedMessage>&)>& done,
                             std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(messages_); });
}

bool WindowThread::waitForCount(UINT message, size_t count, std::chrono::milliseconds timeout) {
  return waitUntil(
      [&](const std::vector<ObservedMessage>& seen) {
        size_t found = 0;
        for (const ObservedMessage& observed : seen) found += observed.message == message;
        return found >= count;
      },
      timeout);
}

std::vector<ObservedMessage> WindowThread::messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

size_t WindowThread::count(UINT message) {
  std::lock_guard lock(mutex_);
  size_t found = 0;
  for (const ObservedMessage& observed : messages_) found += observed.message == message;
  return found;
}

void WindowThread::runOnWindowThread(const std::function<void()>& task) {
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  bool done = false;
  const std::function<void()> wrapped = [&] {
    task();
    std::lock_guard lock(doneMutex);
    done = true;
    doneChanged.notify_all();
  };
  PostMessageA(window_, kRunTask, 0, reinterpret_cast<LPARAM>(&wrapped));
  std::unique_lock lock(doneMutex);
  doneChanged.wait(lock, [&] { return done; });
}

}  // namespace vkt::test
