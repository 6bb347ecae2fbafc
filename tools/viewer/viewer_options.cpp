// Parsing of the viewer's command line.
#include "viewer_options.h"

#include <string_view>

#include "common/parse_number.h"
#include "common/valued_option.h"
#include "vkt7100sdk_timeouts.h"

namespace vkt::viewer {

const char* usageText() {
  return "usage: vkt-viewer --kind 7100|5200 --port P [--host H] [--user U] [--password P]\n"
         "                  [--channels N] [--seconds S] [--snapshot DIR] [--record FILE [--record-split SECONDS]]\n"
         "                  [--stats] [--exit-on-loss] [--reconnect [MAX_MS]] [--timeout MS]\n"
         "                  [--headless] [--capture DIR] [--help] [--version]\n"
         "--headless: no windows, every channel through the picture callback (kind 7100 at full size)\n"
         "--capture DIR: each channel's last picture as DIR/chN.jpg (kind 7100) or DIR/chN.bmp (kind 5200)\n"
         "keys: q or Escape quit, s save every tile as PNG (in --snapshot DIR or here),\n"
         "      f toggle the tile under the pointer to fill the window, 1-9 the same for that tile\n";
}

bool parseViewerOptions(int argc, char** argv, ViewerOptions& options, std::string& error) {
  for (int i = 1; i < argc; i += 2) {
    const std::string_view name = argv[i];
    // Switches take no value.
    if (name == "--stats" || name == "--exit-on-loss" || name == "--headless") {
      (name == "--stats" ? options.stats : name == "--headless" ? options.headless : options.exitOnLoss) = true;
      --i;
      continue;
    }
    // Its value is optional: a number, when one follows.
    if (name == "--reconnect") {
      options.reconnectMs = kDefaultReconnectMs;
      if (i + 1 < argc && tools::parseNumber<uint32_t>(argv[i + 1], 1, 3600000, options.reconnectMs)) continue;
      --i;
      continue;
    }
    if (!tools::valuedOption(argc, argv, i,
                             {"--kind", "--host", "--port", "--user", "--password", "--channels", "--seconds",
                              "--snapshot", "--record", "--timeout", "--record-split", "--capture"},
                             error))
      return false;
    const std::string_view value = argv[i + 1];
    bool ok = true;
    if (name == "--kind")
      ok = tools::parseNumber(value, 5200, 7100, options.kind) && (options.kind == 5200 || options.kind == 7100);
    else if (name == "--host")
      options.host = value;
    else if (name == "--port")
      ok = tools::parseNumber<uint16_t>(value, 1, 65535, options.port);
    else if (name == "--user")
      options.user = value;
    else if (name == "--password")
      options.password = value;
    else if (name == "--channels")
      ok = tools::parseNumber<uint32_t>(value, 1, 16, options.channels);
    else if (name == "--seconds")
      ok = tools::parseNumber<uint32_t>(value, 0, 86400, options.seconds);
    else if (name == "--timeout")
      ok = tools::parseNumber<uint32_t>(value, VKT_TIMEOUT_MIN_MS, VKT_TIMEOUT_MAX_MS, options.timeoutMs);
    else if (name == "--snapshot")
      options.snapshotDir = value;
    else if (name == "--record-split")
      ok = tools::parseNumber<uint32_t>(value, 1, 86400, options.recordSplitSeconds);
    else if (name == "--capture")
      options.captureDir = value;
    else  // --record
      options.recordFile = value;
    if (!ok) {
      error = "bad option " + std::string(name) + " " + std::string(value);
      return false;
    }
  }
  if (options.kind == 0 || options.port == 0) {
    error = "--kind and --port are required";
    return false;
  }
  if (options.recordSplitSeconds && options.recordFile.empty()) {
    error = "--record-split needs --record FILE";
    return false;
  }
  return true;
}

}  // namespace vkt::viewer
