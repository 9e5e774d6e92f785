// A child process owned by a test: started with extra environment, optionally fed through a
// stdin pipe, its output in files, and always gone when the object is: the destructor kills and
// reaps it, and the child dies with the test process (parent-death signal), so no test, failed
// or not, leaves a process behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ChildOptions {
  std::vector<std::string> argv;  // argv[0] is the executable's path
  // Added to the test's environment, replacing inherited variables of the same name; every
  // inherited TBX_* variable but TBX_IPC_TRANSPORT is removed first so a developer's shell
  // cannot steer a test.
  std::vector<std::pair<std::string, std::string>> env;
  std::string workDir;     // "" keeps the test's working directory
  bool pipeStdin = false;  // false: stdin is /dev/null
  std::string stdoutPath;  // "" discards the output
  std::string stderrPath;  // "" discards the output
  // The largest file the child may write, in bytes (RLIMIT_FSIZE, inherited by what it
  // starts), with SIGXFSZ ignored: a write past it fails with EFBIG as a write to a full disk
  // fails with ENOSPC. Negative: no limit.
  long long fileSizeLimit = -1;
  // Where the program's own process id appears when the child is a launcher that starts it
  // (TargetSystem); "" when the child is the program itself.
  std::string programPidFile;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  // Kills (SIGKILL) and reaps a child that still runs.
  ~ChildProcess();

  // Starts the child; false with `error` filled when it cannot be started (exec failures
  // included). A started object cannot be started again.
  bool Start(const ChildOptions& options, std::string* error);

  pid_t pid() const { return pid_; }
  // The process id the program itself knows (what its pid file and records show): pid(), or
  // the content of ChildOptions::programPidFile once the launcher wrote it; "" when it did not.
  std::string ProgramPid() const;
  // True while the child has not ended; reaps it when it has.
  bool IsRunning();
  // Waits until the child has ended, at most `limit`; true when it has.
  bool WaitForExit(std::chrono::milliseconds limit);

  // Writes to the child's stdin pipe; false when there is none or the child closed it.
  bool WriteStdin(const std::string& text);
  void CloseStdin();

  // Sends `signal` to a running child; false when it is not running.
  bool Signal(int signal);
  // SIGKILL and reap; nothing when the child already ended.
  void Kill();

  bool Exited() const { return ended_ && exitedNormally_; }
  // The exit status of a child that exited normally, -1 otherwise.
  int ExitStatus() const { return ended_ && exitedNormally_ ? code_ : -1; }
  // "running", "exit status N" or "killed by signal N", for failure messages.
  std::string Describe() const;

 private:
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Records the end of the child from a waitpid status.
  void Reaped(int status);

  pid_t pid_ = -1;               // -1 until started
  std::string programPidFile_;   // as given to Start
  int stdinFd_ = -1;             // write end of the stdin pipe, -1 when none
  bool ended_ = false;           // the child has been reaped
  bool exitedNormally_ = false;  // it called exit (else it died of a signal)
  int code_ = 0;                 // exit status or signal number
};

}  // namespace e2e
