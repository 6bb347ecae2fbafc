// Applications exit with handles still open (crashes, Ctrl-C handlers,
// lazy shutdown). A child process leaves with a handle of each kind open,
// after a failed connect and while video streams, and must end with exit
// status 0 and nothing on its error stream from the library's unload step
// or a sanitizer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/common/devsim_process.h"
#include "vkt7100sdk.h"

extern char** environ;

namespace {

struct ChildResult {
  int status = -1;  // waitpid status
  std::string errors;
};

ChildResult RunProbe(int kind, uint16_t port, const char* scene) {
  std::vector<std::string> arguments = {VKT_EXIT_PROBE, std::to_string(kind), std::to_string(port), scene};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ChildResult result;
  int errors[2];
  if (::pipe2(errors, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
  pid_t pid = -1;
  const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(errors[1]);
  if (!spawned) {
    ::close(errors[0]);
    return result;
  }
  // Read until the child's end of the pipe closes; a child that hangs is
  // killed after 60 s.
  pollfd readable{errors[0], POLLIN, 0};
  for (;;) {
    if (::poll(&readable, 1, 60000) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    char chunk[512];
    const ssize_t got = ::read(errors[0], chunk, sizeof chunk);
    if (got <= 0) break;
    result.errors.append(chunk, static_cast<size_t>(got));
  }
  ::close(errors[0]);
  ::waitpid(pid, &result.status, 0);
  return result;
}

}  // namespace

TEST(ProcessExit, OpenHandlesOfBothKindsDoNotSpoilTheExit) {
  struct Case {
    int kind;
    const char* scene;
  };
  const Case cases[] = {
      {VKT_KIND_JPEG, "failed"},
      {VKT_KIND_H264, "failed"},
      {VKT_KIND_JPEG, "streaming"},
      {VKT_KIND_H264, "streaming"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " " + c.scene);
    vkt::test::DevsimProcess devsim(c.kind);
    ASSERT_NE(devsim.port(), 0);
    const bool failed = std::string(c.scene) == "failed";
    const ChildResult child = RunProbe(c.kind, failed ? vkt::test::closedLocalPort() : devsim.port(), c.scene);
    ASSERT_TRUE(WIFEXITED(child.status)) << "killed by signal " << WTERMSIG(child.status) << "\n" << child.errors;
    EXPECT_EQ(WEXITSTATUS(child.status), 0) << child.errors;
    EXPECT_EQ(child.errors.find("Sanitizer"), std::string::npos) << child.errors;
    EXPECT_EQ(child.errors.find("runtime error"), std::string::npos) << child.errors;
  }
}
