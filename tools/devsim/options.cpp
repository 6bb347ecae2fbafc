// Parsing of the simulator's command line, with range checks on numbers.
#include "options.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/parse_number.h"
#include "wire/device_packets.h"
#include "wire/frame.h"

namespace vkt::devsim {

const char* usageText() {
  return "usage: vkt-devsim --kind 7100|5200 [--listen HOST:PORT] [--user U] [--password P]\n"
         "                  [--channels N] [--refuse-login CODE] [--no-ready] [--drop-after N]\n"
         "                  [--stall] [--oversize] [--bad-magic] [--flood BYTES] [--echo-data]\n"
         "                  [--key-interval N] [--corrupt-boxes] [--bad-box-after-pictures] [--ready-twice]\n"
         "                  [--extra-answer CODE] [--first-answer-delay MS]\n"
         "                  [--request-log FILE] [--picture-log FILE] [--packet-log FILE]\n"
         "                  [--camera | --pictures DIR] [--unrequested] (7100) [--h264 FILE [--fps N]] (5200)\n"
         "                  [--help] [--version]\n";
}

// HOST:PORT, HOST may be a bracketed IPv6 address ("[::1]:0").
static bool parseListen(std::string_view text, SimulatorOptions& options) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) return false;
  options.host.assign(host);
  return vkt::tools::parseNumber<uint16_t>(text.substr(colon + 1), 0, 65535, options.port);
}

bool parseOptions(int argc, char** argv, SimulatorOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    auto value = [&](std::string_view& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string_view text;
    bool ok = true;
    if (name == "--kind") {
      ok = value(text) && (text == "5200" || text == "7100");
      if (ok) options.kind = text == "5200" ? 5200 : 7100;
    } else if (name == "--listen") {
      ok = value(text) && parseListen(text, options);
    } else if (name == "--user") {
      ok = value(text);
      options.user.assign(text);
    } else if (name == "--password") {
      ok = value(text);
      options.password.assign(text);
    } else if (name == "--channels") {
      ok = value(text) && vkt::tools::parseNumber(text, 1, 255, options.channels);
    } else if (name == "--refuse-login") {
      int32_t code = 0;
      ok = value(text) && vkt::tools::parseNumber<int32_t>(text, INT32_MIN, INT32_MAX, code);
      options.refuseLoginCode = code;
    } else if (name == "--no-ready") {
      options.noReady = true;
    } else if (name == "--drop-after") {
      uint64_t count = 0;
      ok = value(text) && vkt::tools::parseNumber<uint64_t>(text, 0, UINT64_MAX, count);
      options.dropAfter = count;
    } else if (name == "--stall") {
      options.stall = true;
    } else if (name == "--unrequested") {
      options.unrequested = true;
    } else if (name == "--oversize") {
      options.oversize = true;
    } else if (name == "--bad-magic") {
      options.badMagic = true;
    } else if (name == "--corrupt-boxes") {
      options.corruptBoxes = true;
    } else if (name == "--bad-box-after-pictures") {
      options.badBoxAfterPictures = true;
    } else if (name == "--key-interval") {
      ok = value(text) && vkt::tools::parseNumber(text, 1, 1000, options.keyInterval);
    } else if (name == "--flood") {
      ok = value(text) && vkt::tools::parseNumber<uint32_t>(text, 1, wire::kMaxPayload, options.floodBytes);
    } else if (name == "--echo-data") {
      options.echoData = true;
    } else if (name == "--ready-twice") {
      options.readyTwice = true;
    } else if (name == "--extra-answer") {
      int32_t code = 0;
      ok = value(text) && vkt::tools::parseNumber<int32_t>(text, INT32_MIN, INT32_MAX, code);
      options.extraAnswer = code;
    } else if (name == "--first-answer-delay") {
      ok = value(text) && vkt::tools::parseNumber<uint32_t>(text, 0, 600000, options.firstAnswerDelayMs);
    } else if (name == "--packet-log") {
      ok = value(text) && !text.empty();
      options.packetLog.assign(text);
    } else if (name == "--camera") {
      options.cameraScene = true;
    } else if (name == "--pictures") {
      ok = value(text) && !text.empty();
      options.picturesDir.assign(text);
    } else if (name == "--h264") {
      ok = value(text) && !text.empty();
      options.h264File.assign(text);
    } else if (name == "--fps") {
      ok = value(text) && vkt::tools::parseNumber(text, 1, 240, options.fps);
    } else if (name == "--request-log") {
      ok = value(text) && !text.empty();
      options.requestLog.assign(text);
    } else if (name == "--picture-log") {
      ok = value(text) && !text.empty();
      options.pictureLog.assign(text);
    } else {
      error = "unknown option " + std::string(name);
      return false;
    }
    if (!ok) {
      error = "bad or missing value for " + std::string(name);
      return false;
    }
  }
  if (options.kind == 0) {
    error = "--kind is required";
    return false;
  }
  if (options.user.size() >= wire::kUserNameField || options.password.size() >= wire::kPasswordField) {
    error = "user name or password too long for the login request";
    return false;
  }
  if ((!options.picturesDir.empty() || options.cameraScene) && options.kind != 7100) {
    error = "--pictures and --camera are for kind 7100";
    return false;
  }
  if (!options.h264File.empty() && options.kind != 5200) {
    error = "--h264 is for kind 5200";
    return false;
  }
  if (options.channels == 0) options.channels = options.kind == 7100 ? 4 : 1;
  return true;
}

bool loadContent(SimulatorOptions& options, std::string& error) {
  if (options.picturesDir.empty() && options.h264File.empty()) return true;
  auto content = std::make_shared<DeviceContent>();
  std::vector<std::string> skipped;
  if (!options.picturesDir.empty() && !loadPictureFiles(options.picturesDir, *content, skipped, error)) return false;
  for (const std::string& file : skipped) std::fprintf(stderr, "vkt-devsim: warning: skipped %s\n", file.c_str());
  if (!options.h264File.empty() && !loadH264File(options.h264File, *content, error)) return false;
  options.content = std::move(content);
  return true;
}

}  // namespace vkt::devsim
