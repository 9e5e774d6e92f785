// Temporary directories, the environment and child processes on POSIX.
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

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

std::string InheritedLogDir() {
  return "";  // a forked child has its parent's log open already
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

int PollExit(pid_t pid) {
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (ended != pid) {
    return -1;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

void KillChild(pid_t pid) {
  ::kill(pid, SIGKILL);
  WaitExit(pid);
}

int TerminatedStatus() {
  return 128 + SIGKILL;
}

const char* CrashDumpStart() {
  return "process dump\n";
}

bool CrashDumpIsText() {
  return true;
}

bool GuardIsALockFile() {
  return true;
}

int FaultStatus(int signal, uint32_t) {
  return 128 + signal;
}

int64_t StackOverflowCode() {
  return 0xC0000005LL;
}

int64_t SystemThreadId() {
  return static_cast<int64_t>(::syscall(SYS_gettid));
}

std::string SystemThreadName() {
  char name[64] = {};
  return ::pthread_getname_np(::pthread_self(), name, sizeof(name)) == 0 ? name : "";
}

bool EnterOwnNetworkNamespace() {
  return ::unshare(CLONE_NEWNET) == 0;
}

bool ThreadFaulter::Available() {
  return true;
}

long ThreadFaulter::CurrentThreadId() {
  return static_cast<long>(::syscall(SYS_gettid));
}

bool ThreadFaulter::SitsInFsync(long threadId) {
  const std::string inFsync = std::to_string(SYS_fsync) + " ";
  return ReadText("/proc/self/task/" + std::to_string(threadId) + "/syscall")
             .compare(0, inFsync.size(), inFsync) == 0;
}

void ThreadFaulter::Fault(uintptr_t thread) {
  ::pthread_kill(static_cast<pthread_t>(thread), SIGSEGV);
}

std::string SystemPath(const std::string& path) {
  return path;
}

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

namespace {
std::atomic<int> g_interruptions{0};
struct sigaction g_previousAction = {};
void CountInterruption(int) {
  g_interruptions.fetch_add(1);
}
}  // namespace

std::string OwnProgramName() {
  char path[4096] = {};
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  const std::string text(path, length > 0 ? static_cast<size_t>(length) : 0);
  return text.substr(text.find_last_of('/') + 1);
}

std::string OwnExecutableFileName() {
  return OwnProgramName();  // no suffix is taken off here
}

std::string OwnProgramPath() {
  std::error_code error;
  return std::filesystem::canonical("/proc/self/exe", error).string();
}

int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  uint64_t resident = 0;
  if (!(statm >> pages >> resident)) {
    return -1;
  }
  return static_cast<int64_t>(resident) * ::sysconf(_SC_PAGESIZE);
}

bool UnderWine() {
  return false;
}

void* FindLoadedLibrary(const std::string& path) {
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

void* LibrarySymbol(void* library, const char* name) {
  return ::dlsym(library, name);
}

void ReleaseLibrary(void* library) {
  ::dlclose(library);
}

std::string SymbolHome(const char* symbol) {
  void* address = ::dlsym(RTLD_DEFAULT, symbol);
  Dl_info where{};
  if (address == nullptr || ::dladdr(address, &where) == 0 || where.dli_fname == nullptr) {
    return "";
  }
  std::error_code error;
  return std::filesystem::canonical(where.dli_fname, error).string();
}

std::string MissingLibraryText() {
  return "No such file or directory";
}

WaitInterrupter::WaitInterrupter() {
  g_interruptions.store(0);
  struct sigaction action = {};
  action.sa_handler = CountInterruption;  // no SA_RESTART: the wait returns EINTR
  ::sigaction(SIGUSR1, &action, &g_previousAction);
}

WaitInterrupter::~WaitInterrupter() {
  ::sigaction(SIGUSR1, &g_previousAction, nullptr);
}

bool WaitInterrupter::Available() {
  return true;
}

uintptr_t WaitInterrupter::CurrentThread() {
  return static_cast<uintptr_t>(::pthread_self());
}

void WaitInterrupter::Interrupt(uintptr_t thread) {
  ::pthread_kill(static_cast<pthread_t>(thread), SIGUSR1);
}

int WaitInterrupter::Handled() const {
  return g_interruptions.load();
}

ScopedUnreadable::ScopedUnreadable(const std::string& path) : path_(path) {
  made_ = ::chmod(path.c_str(), 0) == 0;
}

ScopedUnreadable::~ScopedUnreadable() {
  if (made_) {
    ::chmod(path_.c_str(), 0600);
  }
}

bool ScopedUnreadable::KeepsThisProcessOut() const {
  return made_ && ::geteuid() != 0;
}

bool DropPrivileges() {
  return ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

void FreezeClockUtc(int64_t seconds) {
  ::setenv("TZ", "UTC", 1);
  tbx::CTimeUtil::UpdateDstFlag();
  FreezeClock(seconds);
}

}  // namespace korvex_test
