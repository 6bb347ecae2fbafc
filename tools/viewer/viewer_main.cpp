// vkt-viewer: shows the live video of a device's channels, one window per
// channel, using nothing but the SDK's exported functions; the way an
// application drives the library. On POSIX the windows are real X11
// windows when DISPLAY is set; --snapshot saves each window as a PNG at the
// end either way.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "viewer_options.h"
#include "vkt7100sdk.h"

#ifndef _WIN32
#include <ddraw.h>
#endif

namespace {

const char kWindowClass[] = "VktViewerWindow";
const UINT_PTR kRunTimer = 1;
// Asks the SDK this often whether the device is still connected.
const UINT_PTR kConnectionTimer = 2;
const UINT kConnectionCheckMs = 250;
// A channel no device has: the call changes nothing and answers
// VKT_ERR_NOT_CONNECTED only once the connection is gone.
const uint32_t kProbeChannel = UINT32_MAX;
void* g_handle = nullptr;
bool g_connectionLost = false;
const int kPictureWidth = 352;
const int kPictureHeight = 288;

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((message == WM_TIMER && wParam == kRunTimer) || message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_TIMER && wParam == kConnectionTimer) {
    if (VKT_OpenChannel(g_handle, kProbeChannel, nullptr) == VKT_ERR_NOT_CONNECTED) {
      g_connectionLost = true;
      PostQuitMessage(0);
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Result codes by name, for the printed log.
const char* ResultName(int32_t result) {
  switch (result) {
    case VKT_OK: return "ok";
    case VKT_ERR_PARAMETER: return "parameter";
    case VKT_ERR_NOT_CONNECTED: return "not connected";
    case VKT_ERR_CONNECT_TIMEOUT: return "connect timeout";
    case VKT_ERR_TRANSPORT: return "transport";
    case VKT_ERR_LOGIN_DENIED: return "login denied";
    case VKT_ERR_LOGIN_FAILED: return "login failed";
    case VKT_ERR_LOGIN_TIMEOUT: return "login timeout";
    case VKT_ERR_NOT_SUPPORTED: return "not supported";
    default: return "unknown";
  }
}

bool Report(const char* step, int32_t result) {
  std::printf("%-18s 0x%08X %s\n", step, static_cast<unsigned>(result), ResultName(result));
  std::fflush(stdout);
  return result == VKT_OK;
}

HWND CreateChannelWindow(uint32_t channel) {
  const std::string title = "channel " + std::to_string(channel);
  const int column = static_cast<int>(channel % 4), row = static_cast<int>(channel / 4);
  HWND window = CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, column * (kPictureWidth + 8),
                                row * (kPictureHeight + 8), kPictureWidth, kPictureHeight, nullptr, nullptr,
                                nullptr, nullptr);
  if (window) ShowWindow(window, SW_SHOW);
  return window;
}

void RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void SaveSnapshots(const std::string& directory, const std::vector<HWND>& windows) {
#ifndef _WIN32
  for (size_t channel = 0; channel < windows.size(); ++channel) {
    const std::string path = directory + "/channel" + std::to_string(channel) + ".png";
    std::printf("snapshot %s: %s\n", path.c_str(), PlatformSaveWindowPng(windows[channel], path.c_str()) ? "saved" : "failed");
  }
#else
  (void)directory;
  (void)windows;
#endif
}

void PrintPictureCount() {
#ifndef _WIN32
  PlatformDisplayCounters counters{};
  PlatformGetDisplayCounters(&counters);
  std::printf("pictures shown    %u\n", static_cast<unsigned>(counters.blits));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  vkt::viewer::ViewerOptions options;
  std::string error;
  if (!vkt::viewer::parseViewerOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "vkt-viewer: %s\n%s", error.c_str(), vkt::viewer::usageText());
    return 2;
  }

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ViewerWindowProc;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);

  void* handle = nullptr;
  if (!Report("create handle", VKT_CreateHandle(options.kind, &handle))) return 1;
  int status = 0;
  if (Report("open server", VKT_OpenServer(handle, options.host.c_str(), options.port, options.user.c_str(),
                                          options.password.c_str()))) {
    ServerInfo info{};
    info.size = sizeof info;
    VKT_GetServerInfo(handle, &info);
    std::printf("device            %s:%u, %u channel(s), info %u.%u.%u\n", info.address, info.port,
                info.channelCount, info.deviceInfo[0], info.deviceInfo[1], info.deviceInfo[2]);

    std::vector<HWND> windows;
    for (uint32_t channel = 0; channel < options.channels && channel < info.channelCount; ++channel) {
      windows.push_back(CreateChannelWindow(channel));
      const std::string step = "open channel " + std::to_string(channel);
      if (!Report(step.c_str(), VKT_OpenChannel(handle, channel, windows.back()))) status = 1;
    }
    if (windows.empty()) status = 1;
    if (!options.recordFile.empty() && !Report("start record", VKT_StartRecord(handle, 0, options.recordFile.c_str())))
      status = 1;

    if (!windows.empty() && options.seconds > 0) SetTimer(windows.front(), kRunTimer, options.seconds * 1000, nullptr);
    g_handle = handle;
    if (!windows.empty()) SetTimer(windows.front(), kConnectionTimer, kConnectionCheckMs, nullptr);
    if (!windows.empty()) RunMessageLoop();
    if (g_connectionLost) {
      std::printf("connection lost   the device went away\n");
      status = 1;
    }

    PrintPictureCount();
    if (!options.snapshotDir.empty()) SaveSnapshots(options.snapshotDir, windows);
    if (!options.recordFile.empty()) Report("stop record", VKT_StopRecord(handle, 0));
    for (uint32_t channel = 0; channel < windows.size(); ++channel) VKT_CloseChannel(handle, channel);
    for (HWND window : windows) DestroyWindow(window);
  } else {
    status = 1;
  }
  Report("close server", VKT_CloseServer(handle));
  return status;
}
