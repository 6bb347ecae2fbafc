// Command line of the viewer.
#pragma once
#include <cstdint>
#include <string>

namespace vkt::viewer {

struct ViewerOptions {
  int32_t kind = 0;
  std::string host = "127.0.0.1";
  uint16_t port = 0;
  std::string user = "admin";
  std::string password = "admin";
  uint32_t channels = 1;   // channels to open, from 0 up
  uint32_t seconds = 0;    // 0: run until quit (q, Escape, the window closed)
  std::string snapshotDir; // PNG of each tile at the end, if set; also where the s key saves
  std::string recordFile;  // record channel 0 to this file, if set
  uint32_t recordSplitSeconds = 0;  // with recordFile (kind 5200): a new file every this many seconds (0: one file)
  std::string captureDir;  // each channel's last picture through the SDK's snapshot, as the viewer ends
  bool headless = false;   // no windows: every channel decoded for the picture callback only
  bool stats = false;      // pictures/s per channel and CPU share every second, a summary at the end
  bool exitOnLoss = false; // quit as soon as the device is lost (with reconnectMs: once reconnection gives up)
  uint32_t reconnectMs = 0; // reconnect after a loss, waiting at most this long between attempts (0: off)
  uint32_t timeoutMs = 0;   // connect and login waits of the handle (0: the SDK's default)
};

// --reconnect without a value waits at most this long between attempts.
constexpr uint32_t kDefaultReconnectMs = 5000;

const char* usageText();
// False with `error` set when the command line is not usable.
bool parseViewerOptions(int argc, char** argv, ViewerOptions& options, std::string& error);

}  // namespace vkt::viewer
