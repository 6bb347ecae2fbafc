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
  uint32_t seconds = 0;    // 0: run until a window is closed
  std::string snapshotDir; // PNG of each channel window at the end, if set
  std::string recordFile;  // kind 5200: record channel 0 to this file, if set
};

const char* usageText();
// False with `error` set when the command line is not usable.
bool parseViewerOptions(int argc, char** argv, ViewerOptions& options, std::string& error);

}  // namespace vkt::viewer
