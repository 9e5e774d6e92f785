// Temporary directories, the environment and child processes on POSIX.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/SystemSupport.h"
#include "support/TestSupport.h"
#include "tbx/LogMessage.h"
#include "tbx/TimeUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/TbxTestSeams.h"

extern char** environ;

namespace korvex_test {
namespace system_support {

std::string MakeTempDir() {
  const char* base = ::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/korvex_test_XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  return pattern;
}

void SetEnv(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
  ::unsetenv(name.c_str());
}

}  // namespace system_support

ChildResult RunInChild(const std::function<void()>& body) {
  tbx::standin::FlushLog();  // nothing buffered is written twice
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    std::abort();
  }
  if (child == 0) {
    ::alarm(120);  // a child that hangs ends by SIGALRM instead of stalling the test run
    body();
    tbx::standin::FlushLog();
    ::_exit(0);
  }
  int status = 0;
  ChildResult result;
  result.pid = static_cast<int>(child);
  if (::waitpid(child, &status, 0) != child) {
    return result;
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) {
    argv.push_back(&arg[0]);
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

void FreezeClockUtc(int64_t seconds) {
  ::setenv("TZ", "UTC", 1);
  tbx::CTimeUtil::UpdateDstFlag();
  FreezeClock(seconds);
}

}  // namespace korvex_test
