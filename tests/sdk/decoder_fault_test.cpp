// The fault guard around the video decoding library, with a stand-in for
// CODECAPI_DecodeFrameVideo (this program's own definition takes the place
// of the library's, which it calls for real work) that faults when told
// to. The application's own handler here serves a page that it makes
// readable on first touch, as lazy allocators do: a fault that is not the
// library's must reach it and go on.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "decode_fault_guard.h"
#include "h264_bridge.h"
#include "tests/common/devsim_process.h"
#include "tests/common/message_pump.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_events.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>

#include "tests/common/debug_line_capture.h"
#endif

namespace {

enum class StandIn {
  kForward, kFaultAtBox, kFaultHere, kTrapHere, kThrowHere, kFaultInCallback, kFaultOnAnotherThread
};
std::atomic<StandIn> g_mode{StandIn::kForward};
std::atomic<int> g_boxes{0};
int g_faultAtBox = -1;
PictureSink* g_callbackSink = nullptr;
// Boxes the library was given after the fault: a key picture among them?
// and how many pictures each gave.
struct SeenBox {
  bool key;
  int pictures;
};
std::mutex g_afterFaultLock;  // written on the decoding thread
std::vector<SeenBox> g_afterFault;

volatile uintptr_t g_unmapped = 16;
void Fault() { *reinterpret_cast<volatile int*>(g_unmapped) = 1; }

bool HasKeyPicture(const uint8_t* data, uint32_t length) {
  for (uint32_t i = 0; i + 3 < length; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] & 0x1F) == 5) return true;
  }
  return false;
}

// The application's handler and its page.
std::atomic<int> g_applicationFaults{0};
#ifdef _WIN32
constexpr size_t kPage = 65536;
uint8_t* g_lazyPage = static_cast<uint8_t*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE, PAGE_NOACCESS));
LONG CALLBACK ApplicationHandler(EXCEPTION_POINTERS* exception) {
  const auto at = reinterpret_cast<uint8_t*>(exception->ExceptionRecord->ExceptionInformation[1]);
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || at < g_lazyPage ||
      at >= g_lazyPage + kPage)
    return EXCEPTION_CONTINUE_SEARCH;
  VirtualAlloc(g_lazyPage, kPage, MEM_COMMIT, PAGE_READWRITE);
  ++g_applicationFaults;
  return EXCEPTION_CONTINUE_EXECUTION;
}
void Protect() { VirtualFree(g_lazyPage, kPage, MEM_DECOMMIT); }
const bool g_installed = AddVectoredExceptionHandler(0, ApplicationHandler) != nullptr;
using Real = int32_t(__cdecl*)(int32_t, int32_t, DecodeRequest*);
Real RealDecode() {
  return reinterpret_cast<Real>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("DecodeSDK.dll"), "CODECAPI_DecodeFrameVideo")));
}
#else
constexpr size_t kPage = 4096;
uint8_t* g_lazyPage = static_cast<uint8_t*>(mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
void ApplicationHandler(int, siginfo_t* info, void*) {
  const auto at = static_cast<uint8_t*>(info->si_addr);
  if (at < g_lazyPage || at >= g_lazyPage + kPage) {
    signal(SIGSEGV, SIG_DFL);  // not this handler's: the fault repeats and ends the process
    return;
  }
  mprotect(g_lazyPage, kPage, PROT_READ | PROT_WRITE);
  ++g_applicationFaults;
}
void Protect() { mprotect(g_lazyPage, kPage, PROT_NONE); }
// Installed before the SDK's guard is, as an application's would be.
const bool g_installed = [] {
  struct sigaction action = {};
  action.sa_sigaction = ApplicationHandler;
  action.sa_flags = SA_SIGINFO;
  return sigaction(SIGSEGV, &action, nullptr) == 0;
}();
using Real = int32_t (*)(int32_t, int32_t, DecodeRequest*);
Real RealDecode() { return reinterpret_cast<Real>(dlsym(RTLD_NEXT, "CODECAPI_DecodeFrameVideo")); }
#endif

void TouchLazyPage() { static_cast<volatile uint8_t*>(g_lazyPage)[8] = 1; }

}  // namespace

extern "C" int32_t CODECAPI_CALL CODECAPI_DecodeFrameVideo(int32_t decoder, int32_t reserved, DecodeRequest* request) {
  switch (g_mode.load()) {
    case StandIn::kFaultHere:
      Fault();
      return 0;
    case StandIn::kTrapHere:
      __builtin_trap();  // an illegal instruction
    case StandIn::kThrowHere:
      throw 1;
    case StandIn::kFaultInCallback: {
      DecodedPicture picture{};
      return DecoderPictureCallback(g_callbackSink, &picture) + 1;
    }
    case StandIn::kFaultOnAnotherThread:
      std::thread(TouchLazyPage).join();
      return 1;
    case StandIn::kFaultAtBox:
      if (g_boxes++ == g_faultAtBox) {
        g_mode = StandIn::kForward;
        Fault();
      }
      return RealDecode()(decoder, reserved, request);
    case StandIn::kForward:
      break;
  }
  const int32_t result = RealDecode()(decoder, reserved, request);
  std::lock_guard<std::mutex> hold(g_afterFaultLock);
  if (g_faultAtBox >= 0) g_afterFault.push_back({HasKeyPicture(request->input, request->inputLength), result - 1});
  return result;
}

namespace {

struct TouchingSink : PictureSink {
  int32_t OnPicture(const DecodedPicture*) override {
    TouchLazyPage();
    return 0;
  }
};

struct ApplicationCase {
  const char* name;
  StandIn mode;
  bool guardTakesIt;  // else the application's handler does
  bool throws = false;  // the library throws instead: no fault at all, the box refused
};

class FaultRoute : public ::testing::TestWithParam<ApplicationCase> {};

// Only a fault of the library itself is the guard's; the SDK's own code in
// the picture callback, another thread, and code outside the call go to
// the application's handler, which the guard leaves to carry on.
TEST_P(FaultRoute, OnlyTheLibrarysOwnFaultIsTaken) {
  const ApplicationCase& c = GetParam();
  ASSERT_TRUE(g_installed);
  TouchingSink sink;
  g_callbackSink = &sink;
  Protect();
  g_applicationFaults = 0;
  DecodeRequest request{};
  uint8_t input[4] = {0, 0, 1, 9};
  uint8_t output[16];
  bool faulted = false;
  g_mode = c.mode;
  const bool accepted = DecodeAnnexB(-1, request, input, sizeof input, output, sizeof output, &faulted);
  g_mode = StandIn::kForward;
  EXPECT_EQ(faulted, c.guardTakesIt);
  EXPECT_EQ(accepted, !c.guardTakesIt && !c.throws);
  EXPECT_EQ(g_applicationFaults, c.guardTakesIt || c.throws ? 0 : 1);
  // Outside any guarded call, after the guard is in place.
  Protect();
  TouchLazyPage();
  EXPECT_EQ(g_applicationFaults, c.guardTakesIt || c.throws ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, FaultRoute,
                         ::testing::Values(ApplicationCase{"InTheLibrary", StandIn::kFaultHere, true},
                                           ApplicationCase{"AnIllegalInstruction", StandIn::kTrapHere, true},
                                           ApplicationCase{"AnExceptionOutOfIt", StandIn::kThrowHere, false, true},
                                           ApplicationCase{"InThePictureCallback", StandIn::kFaultInCallback, false},
                                           ApplicationCase{"OnAnotherThread", StandIn::kFaultOnAnotherThread, false}),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
void OtherHandler(int, siginfo_t*, void*) {}

// Unloading the SDK puts back the handlers its guard replaced, and leaves
// one that replaced the guard's meanwhile.
TEST(DecoderFault, UnloadingPutsBackWhatTheGuardReplaced) {
  constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
  for (const bool replacedMeanwhile : {false, true}) {
    DecodeRequest request{};
    uint8_t input[4] = {0, 0, 1, 9}, output[16];
    bool faulted = false;
    g_mode = StandIn::kFaultHere;
    DecodeAnnexB(-1, request, input, sizeof input, output, sizeof output, &faulted);
    g_mode = StandIn::kForward;
    ASSERT_TRUE(faulted) << "the guard is in place";
    struct sigaction guard[4] = {}, other = {}, now = {};
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], nullptr, &guard[i]);
    other.sa_sigaction = OtherHandler;
    other.sa_flags = SA_SIGINFO;
    if (replacedMeanwhile) sigaction(SIGSEGV, &other, nullptr);
    RestoreReplacedFaultHandlers();
    for (int i = 3; i >= 0; --i) {
      sigaction(kSignals[i], &guard[i], &now);  // the guard again, for the tests after
      EXPECT_NE(now.sa_sigaction, guard[i].sa_sigaction) << "signal " << kSignals[i];
    }
    EXPECT_EQ(now.sa_sigaction, replacedMeanwhile ? OtherHandler : ApplicationHandler);  // SIGSEGV's
  }
}
#endif

void VKT_CALL CountDrops(void*, const VKT_Event* event, void* user) {
  if (event->type == VKT_EVENT_PICTURES_DROPPED) *static_cast<int*>(user) += event->value1;
}

HWND VideoWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "VktFaultTestVideo";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "video", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 352, 288,
                         nullptr, nullptr, nullptr, nullptr);
}

// A live stream whose decoder faults on one box in the middle of a group
// of pictures: the box is lost, the pictures come back from the next key
// picture on, and the session closes as usual.
TEST(DecoderFault, TheStreamGoesOnFromTheNextKeyPicture) {
  vkt::test::DevsimProcess device(5200, {"--key-interval", "10"});
  ASSERT_NE(device.port(), 0);
  void* handle = nullptr;
  ASSERT_EQ(VKT_CreateHandle(VKT_KIND_H264, &handle), VKT_OK);
  ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", device.port(), "admin", "admin"), VKT_OK);
  HWND window = VideoWindow();
  int dropped = 0;
  VKT_SetEventCallback(handle, CountDrops, &dropped);
  g_boxes = 0;
  g_faultAtBox = 14;
  g_mode = StandIn::kFaultAtBox;
  ASSERT_EQ(VKT_OpenChannel(handle, 0, window), VKT_OK);
  int picturesAfterKey = 0;
  vkt::test::PumpUntil(15000, [&] {
    std::lock_guard<std::mutex> hold(g_afterFaultLock);
    picturesAfterKey = 0;
    bool key = false;
    for (const SeenBox& box : g_afterFault) {
      key = key || box.key;
      if (key) picturesAfterKey += box.pictures;
    }
    return picturesAfterKey >= 12;
  });
  EXPECT_EQ(VKT_CloseChannel(handle, 0), VKT_OK);
  EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
  DestroyWindow(window);
  g_mode = StandIn::kForward;
  std::lock_guard<std::mutex> hold(g_afterFaultLock);
  EXPECT_GT(g_boxes, g_faultAtBox);
  ASSERT_FALSE(g_afterFault.empty());
  // Nothing decodes before the key picture: the new decoder has no
  // parameter sets but those put in front of it.
  for (const SeenBox& box : g_afterFault) {
    if (box.key) break;
    EXPECT_LE(box.pictures, 0);
  }
  EXPECT_GE(picturesAfterKey, 12);
  EXPECT_GE(dropped, 1) << "the lost box";
#ifndef _WIN32
  EXPECT_EQ(vkt::test::DebugLinesWith("video decoder faulted: box lost"), 1u);
#endif
  g_faultAtBox = -1;
}

}  // namespace
