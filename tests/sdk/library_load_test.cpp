// The SDK's load and unload steps, observed from outside: this program
// exports its own versions of the three transport functions the steps call,
// so when it loads libvkt7100sdk.so the library's references bind here.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> g_calls;
}

extern "C" __attribute__((visibility("default"))) void displayDebugMessage(int32_t enable) {
  g_calls.push_back("displayDebugMessage(" + std::to_string(enable) + ")");
}
extern "C" __attribute__((visibility("default"))) int32_t initializeRemoteSocket() {
  g_calls.push_back("initializeRemoteSocket");
  return 1;
}
extern "C" __attribute__((visibility("default"))) void uninitializeRemoteSocket() {
  g_calls.push_back("uninitializeRemoteSocket");
}

TEST(LibraryLoad, InitialisesTheTransportOnLoadAndReleasesItOnUnload) {
  // The video decoder pulls in system libraries that keep process-lifetime
  // allocations; unloading them would make those read as leaks. Keep that
  // one resident so only our own libraries come and go.
  ASSERT_NE(dlopen(VKT_DECODER_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE), nullptr) << dlerror();
  void* sdk = dlopen(VKT_SDK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(sdk, nullptr) << dlerror();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"displayDebugMessage(1)", "initializeRemoteSocket"}));
  ASSERT_EQ(dlclose(sdk), 0);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"displayDebugMessage(1)", "initializeRemoteSocket",
                                               "uninitializeRemoteSocket"}));
}
