// vkt-login: connects to a device through the transport library of its
// kind, logs in and prints the device's answer. Exit status 0 means the
// login was accepted; see login_client.h for the others.
#include <cstdio>
#include <cstring>
#include <string_view>

#include <string>

#include "common/parse_number.h"
#include "common/tool_usage.h"
#include "common/valued_option.h"
#include "login_client.h"

using vkt::login::LoginSettings;

static const vkt::tools::ToolUsage kLoginTool = {
    "vkt-login",
    "usage: vkt-login --kind 7100|5200 --host H --port P --user U --password P\n"
    "                 [--notices N] [--timeout-ms MS] [--help] [--version]\n"};

static bool parseArguments(int argc, char** argv, LoginSettings& settings, std::string& error) {
  bool haveHost = false, havePort = false;
  for (int i = 1; i < argc; i += 2) {
    if (!vkt::tools::valuedOption(argc, argv, i,
                                  {"--kind", "--host", "--port", "--user", "--password", "--notices", "--timeout-ms"},
                                  error))
      return false;
    const std::string_view name = argv[i];
    const std::string_view value = argv[i + 1];
    bool ok = true;
    if (name == "--kind") {
      ok = vkt::tools::parseNumber(value, 5200, 7100, settings.kind) &&
           (settings.kind == 5200 || settings.kind == 7100);
    } else if (name == "--host") {
      settings.host.assign(value);
      ok = haveHost = !value.empty() && value.size() < 260;
    } else if (name == "--port") {
      ok = havePort = vkt::tools::parseNumber<uint16_t>(value, 1, 65535, settings.port);
    } else if (name == "--user") {
      settings.user.assign(value);
    } else if (name == "--password") {
      settings.password.assign(value);
    } else if (name == "--notices") {
      ok = vkt::tools::parseNumber(value, 0, 100, settings.deviceTimeNotices);
    } else {  // --timeout-ms
      ok = vkt::tools::parseNumber<DWORD>(value, 1, 600000, settings.timeoutMs);
    }
    if (!ok) {
      error = "bad option " + std::string(name) + " " + std::string(value);
      return false;
    }
  }
  error = "--kind, --host and --port are required";
  return settings.kind != 0 && haveHost && havePort;
}

int main(int argc, char** argv) {
  if (const auto status = vkt::tools::answerStandardOptions(kLoginTool, argc, argv)) return *status;
  LoginSettings settings;
  std::string error;
  if (!parseArguments(argc, argv, settings, error)) return vkt::tools::usageError(kLoginTool, error);
  return vkt::login::runLogin(settings);
}
