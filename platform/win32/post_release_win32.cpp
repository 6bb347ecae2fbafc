// PlatformPostMessageWithRelease on Windows. The message is posted as usual
// and followed by a private thread message to the receiving thread; posted
// messages of one thread come out of its queue in order, so by the time the
// private message is retrieved, the first one has been dispatched (or
// retrieved and dropped). A WH_GETMESSAGE hook on that thread sees the
// private message, runs the release and turns it into WM_NULL.
#include <windows.h>

#include <mutex>
#include <unordered_map>

namespace {

UINT ReleaseMessage() {
  static const UINT message = RegisterWindowMessageA("VktPlatformReleaseRecord");
  return message;
}

LRESULT CALLBACK ReleaseHook(int code, WPARAM removal, LPARAM lParam) {
  auto* message = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removal == PM_REMOVE && message->hwnd == nullptr && message->message == ReleaseMessage()) {
    auto release = reinterpret_cast<PlatformReleaseProc>(message->wParam);
    void* context = reinterpret_cast<void*>(message->lParam);
    message->message = WM_NULL;
    release(context);
  }
  return CallNextHookEx(nullptr, code, removal, lParam);
}

// One hook per receiving thread, kept while that thread lives. A thread id
// can be reused after its thread ended, so each entry keeps the thread's
// handle to tell a live hook from a stale one. The hook procedure is code of
// the library this is linked into: when that library is unloaded, the
// hooks go with it (records of messages still queued then are leaked, not
// released by code that is gone).
struct ThreadHook {
  HHOOK hook;
  HANDLE thread;
};

class ThreadHooks {
 public:
  ~ThreadHooks() {
    for (auto& [threadId, entry] : hooks_) {
      UnhookWindowsHookEx(entry.hook);
      CloseHandle(entry.thread);
    }
  }

  bool Hook(DWORD threadId) {
    std::lock_guard lock(mutex_);
    auto found = hooks_.find(threadId);
    if (found != hooks_.end()) {
      if (WaitForSingleObject(found->second.thread, 0) == WAIT_TIMEOUT) return true;
      UnhookWindowsHookEx(found->second.hook);
      CloseHandle(found->second.thread);
      hooks_.erase(found);
    }
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) return false;
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ReleaseHook), &self);
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, ReleaseHook, self, threadId);
    if (hook == nullptr) {
      CloseHandle(thread);
      return false;
    }
    hooks_.emplace(threadId, ThreadHook{hook, thread});
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<DWORD, ThreadHook> hooks_;
};

ThreadHooks threadHooks;

}  // namespace

extern "C" BOOL PlatformPostMessageWithRelease(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                               PlatformReleaseProc release, void* context) {
  const DWORD threadId = GetWindowThreadProcessId(window, nullptr);
  if (threadId == 0 || !threadHooks.Hook(threadId)) return FALSE;
  if (!PostMessageA(window, message, wParam, lParam)) return FALSE;
  // The message is out: from here on the record may be in use, so a failed
  // follow-up leaves it to leak rather than be freed under the receiver.
  PostThreadMessageA(threadId, ReleaseMessage(), reinterpret_cast<WPARAM>(release), reinterpret_cast<LPARAM>(context));
  return TRUE;
}
