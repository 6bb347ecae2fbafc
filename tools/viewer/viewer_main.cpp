// vkt-viewer: shows the live video of a device's channels as a grid in one
// window, using nothing but the SDK's exported functions; the way an
// application drives the library. On POSIX the window is a real X11 window
// when DISPLAY is set; without a display the viewer runs all the same (its
// figures on standard output), so it doubles as a load tool. Exit status:
// 0, 1 when a step failed or the device was lost, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/tool_usage.h"
#include "result_report.h"
#include "viewer_app.h"
#include "viewer_options.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_events.h"
#include "vkt7100sdk_timeouts.h"

using vkt::viewer::report;

int main(int argc, char** argv) {
  const vkt::tools::ToolUsage tool = {"vkt-viewer", vkt::viewer::usageText()};
  if (const auto status = vkt::tools::answerStandardOptions(tool, argc, argv)) return *status;
  vkt::viewer::ViewerOptions options;
  std::string error;
  if (!vkt::viewer::parseViewerOptions(argc, argv, options, error)) return vkt::tools::usageError(tool, error);

  void* handle = nullptr;
  if (!report("create handle", VKT_CreateHandle(options.kind, &handle))) return 1;
  if (options.reconnectMs) VKT_SetReconnect(handle, options.reconnectMs);
  if (options.timeoutMs && !report("set timeouts", VKT_SetTimeouts(handle, options.timeoutMs, options.timeoutMs))) {
    VKT_CloseServer(handle);
    return 1;
  }
  int status = 0;
  if (report("open server", VKT_OpenServer(handle, options.host.c_str(), options.port, options.user.c_str(),
                                          options.password.c_str()))) {
    ServerInfo info{};
    info.size = sizeof info;
    VKT_GetServerInfo(handle, &info);
    std::printf("device            %s:%u, %u channel(s), info %u.%u.%u\n", info.address, info.port,
                info.channelCount, info.deviceInfo[0], info.deviceInfo[1], info.deviceInfo[2]);
    const uint32_t channels = options.channels < info.channelCount ? options.channels : info.channelCount;
    if (channels < options.channels) std::printf("showing %u of the %u channels asked for\n", channels, options.channels);

    if (channels == 0) {
      status = 1;
    } else {
      const std::string title =
          std::string(info.address) + ":" + std::to_string(info.port) + " kind " + std::to_string(options.kind);
      vkt::viewer::ViewerApp viewer(handle, options, title, channels);
      if (!viewer.openChannels()) status = 1;
      // Kind 7100 records its channel 0 pictures as received, kind 5200 its stream.
      const bool pictures = options.kind == VKT_KIND_JPEG;
      const char* record = options.recordFile.c_str();
      if (!options.recordFile.empty() &&
          !report("start record", pictures ? VKT_RecordPictures(handle, 0, record) : VKT_StartRecord(handle, 0, record)))
        status = 1;
      viewer.run();
      if (!options.recordFile.empty())
        report("stop record", pictures ? VKT_RecordPictures(handle, 0, nullptr) : VKT_StopRecord(handle, 0));
      viewer.closeChannels();
      if (viewer.deviceLost()) status = 1;
    }
  } else {
    status = 1;
  }
  report("close server", VKT_CloseServer(handle));
  return status;
}
