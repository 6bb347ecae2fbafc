// The demo client end to end: vkt-login's exit status against the
// simulator for an accepted login of each kind, a refused login and a
// device that cannot be reached.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/devsim_process.h"

extern char** environ;

namespace {

// Runs vkt-login with its output discarded and returns its exit status.
// Exit status of vkt-login; its standard output goes to `output` when
// given, else nowhere.
int runLogin(std::vector<std::string> arguments, std::string* output = nullptr) {
  arguments.insert(arguments.begin(), VKT_LOGIN_PATH);
  arguments.insert(arguments.end(), {"--timeout-ms", "10000"});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  char path[] = "/tmp/vkt_login_output_XXXXXX";
  const int fd = output ? mkstemp(path) : -1;
  if (fd >= 0) close(fd);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, fd >= 0 ? path : "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  const bool exited = waitpid(pid, &status, 0) == pid && WIFEXITED(status);
  if (fd >= 0) {
    std::ifstream file(path);
    output->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    unlink(path);
  }
  return exited ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> loginArguments(int kind, uint16_t port, const std::string& password) {
  return {"--kind", std::to_string(kind), "--host", "127.0.0.1", "--port", std::to_string(port),
          "--user", "admin", "--password", password, "--notices", "1"};
}

TEST(LoginTool, ExitStatusFollowsTheLoginOutcome) {
  for (int kind : {5200, 7100}) {
    vkt::test::DevsimProcess devsim(kind);
    ASSERT_NE(devsim.port(), 0);
    EXPECT_EQ(runLogin(loginArguments(kind, devsim.port(), "admin")), 0) << kind;
    EXPECT_EQ(runLogin(loginArguments(kind, devsim.port(), "wrong")), 1) << kind;
  }
}

// It says when the device is ready, and stays for exactly the number of
// device-time notices asked for.
TEST(LoginTool, WaitsForTheNoticesAskedFor) {
  vkt::test::DevsimProcess devsim(5200);
  ASSERT_NE(devsim.port(), 0);
  std::vector<std::string> arguments = loginArguments(5200, devsim.port(), "admin");
  arguments.pop_back();
  arguments.emplace_back(1, '2');  // --notices 2
  std::string output;
  ASSERT_EQ(runLogin(arguments, &output), 0);
  size_t notices = 0;
  for (size_t at = output.find("device time"); at != std::string::npos; at = output.find("device time", at + 1))
    ++notices;
  EXPECT_EQ(notices, 2u) << output;
  EXPECT_NE(output.find("device ready\n"), std::string::npos) << output;
}

TEST(LoginTool, UnreachableDeviceAndBadArguments) {
  uint16_t port;
  {
    vkt::test::DevsimProcess devsim(7100);
    port = devsim.port();
  }  // the simulator is gone: its port refuses connections
  std::vector<std::string> longestWait = loginArguments(7100, port, "admin");
  longestWait.insert(longestWait.end(), {"--timeout-ms", "600000"});  // the longest taken; the 10 s after it wins
  EXPECT_EQ(runLogin(longestWait), 3);
  EXPECT_EQ(runLogin({"--kind", "6000", "--host", "127.0.0.1", "--port", "1"}), 2);
  EXPECT_EQ(runLogin({"--kind", "7100", "--host", "127.0.0.1", "--port", "1", "--timeout-ms", "600001"}), 2);
}

}  // namespace
