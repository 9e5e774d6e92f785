#include "e2e/ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "e2e/Wait.h"

extern char** environ;

namespace e2e {
namespace {

// Opens `path` for the child's output, or /dev/null for "".
int OpenOutput(const std::string& path) {
  if (path.empty()) {
    return open("/dev/null", O_WRONLY | O_CLOEXEC);
  }
  return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
}

std::vector<std::string> BuildEnvironment(const ChildOptions& options) {
  auto overridden = [&options](const char* entry) {
    for (const auto& added : options.env) {
      if (std::strncmp(entry, added.first.c_str(), added.first.size()) == 0 &&
          entry[added.first.size()] == '=') {
        return true;
      }
    }
    return false;
  };
  std::vector<std::string> env;
  // The transport is the one seam a whole run chooses, for every process it starts.
  auto inherited = [](const char* entry) {
    return std::strncmp(entry, "TBX_", 4) != 0 ||
           std::strncmp(entry, "TBX_IPC_TRANSPORT=", 18) == 0;
  };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (inherited(*entry) && !overridden(*entry)) {
      env.emplace_back(*entry);
    }
  }
  for (const auto& [name, value] : options.env) {
    env.push_back(name + "=" + value);
  }
  return env;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
  CloseStdin();
}

bool ChildProcess::Start(const ChildOptions& options, std::string* error) {
  if (pid_ != -1 || options.argv.empty()) {
    *error = pid_ != -1 ? "already started" : "no program given";
    return false;
  }
  // A test writing to a child that has just ended must fail its write, not die of SIGPIPE.
  signal(SIGPIPE, SIG_IGN);

  // Everything the child needs is prepared before fork: it only calls async-signal-safe
  // functions afterwards.
  std::vector<std::string> argvTexts = options.argv;
  std::vector<std::string> envTexts = BuildEnvironment(options);
  std::vector<char*> argv = PointersTo(argvTexts);
  std::vector<char*> envp = PointersTo(envTexts);
  int stdinPipe[2] = {-1, -1};
  if (options.pipeStdin && pipe2(stdinPipe, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  int outFd = OpenOutput(options.stdoutPath);
  int errFd = OpenOutput(options.stderrPath);
  int execReport[2];  // carries errno when exec fails; closes on a successful exec
  if (outFd < 0 || errFd < 0 || pipe2(execReport, O_CLOEXEC) != 0) {
    *error = std::string("cannot prepare the child's files: ") + std::strerror(errno);
    for (int fd : {stdinPipe[0], stdinPipe[1], outFd, errFd}) {
      if (fd >= 0)
        close(fd);
    }
    return false;
  }
  const pid_t parent = getpid();

  pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
      _exit(127);  // the test died between fork and prctl
    }
    int inFd = options.pipeStdin ? stdinPipe[0] : open("/dev/null", O_RDONLY);
    if (inFd < 0 || dup2(inFd, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 ||
        (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)) {
      int code = errno;
      (void)!write(execReport[1], &code, sizeof code);
      _exit(127);
    }
    signal(SIGPIPE, SIG_DFL);
    if (options.fileSizeLimit >= 0) {
      const struct rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                                   static_cast<rlim_t>(options.fileSizeLimit)};
      struct sigaction ignore = {};
      ignore.sa_handler = SIG_IGN;
      if (sigaction(SIGXFSZ, &ignore, nullptr) != 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        int code = errno;
        (void)!write(execReport[1], &code, sizeof code);
        _exit(127);
      }
    }
    execve(argv[0], argv.data(), envp.data());
    int code = errno;
    (void)!write(execReport[1], &code, sizeof code);
    _exit(127);
  }
  close(execReport[1]);
  close(outFd);
  close(errFd);
  if (options.pipeStdin) {
    close(stdinPipe[0]);
  }
  if (child < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    close(execReport[0]);
    if (options.pipeStdin)
      close(stdinPipe[1]);
    return false;
  }
  pid_ = child;
  programPidFile_ = options.programPidFile;
  stdinFd_ = options.pipeStdin ? stdinPipe[1] : -1;

  int code = 0;
  ssize_t got;
  do {
    got = read(execReport[0], &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  close(execReport[0]);
  if (got == static_cast<ssize_t>(sizeof code)) {
    *error = "cannot start " + options.argv[0] + ": " + std::strerror(code);
    Kill();
    return false;
  }
  return true;
}

void ChildProcess::Reaped(int status) {
  ended_ = true;
  exitedNormally_ = WIFEXITED(status);
  code_ = exitedNormally_ ? WEXITSTATUS(status) : WTERMSIG(status);
}

bool ChildProcess::IsRunning() {
  if (pid_ == -1 || ended_) {
    return false;
  }
  int status = 0;
  pid_t got = waitpid(pid_, &status, WNOHANG);
  if (got == pid_) {
    Reaped(status);
    return false;
  }
  return got == 0;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (IsRunning()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ended_;
}

std::string ChildProcess::ProgramPid() const {
  if (programPidFile_.empty()) {
    return pid_ == -1 ? "" : std::to_string(pid_);
  }
  // The launcher writes the file whole (rename) before the program runs.
  std::string text;
  PollUntil(
      [&] {
        std::ifstream in(programPidFile_);
        return static_cast<bool>(std::getline(in, text)) && !text.empty();
      },
      kWaitLimit);
  return text;
}

bool ChildProcess::WriteStdin(const std::string& text) {
  if (stdinFd_ < 0) {
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t wrote = write(stdinFd_, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  return true;
}

void ChildProcess::CloseStdin() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);
    stdinFd_ = -1;
  }
}

bool ChildProcess::Signal(int signal) {
  return IsRunning() && kill(pid_, signal) == 0;
}

void ChildProcess::Kill() {
  if (!IsRunning()) {
    return;
  }
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  Reaped(status);
}

std::string ChildProcess::Describe() const {
  if (pid_ == -1) {
    return "not started";
  }
  if (!ended_ && programPidFile_.empty()) {
    return "running";
  }
  if (!ended_) {
    // Tells a program that hangs from one that a launcher never got to start.
    std::ifstream in(programPidFile_);
    std::string pid;
    return std::getline(in, pid) && !pid.empty()
               ? "running as process " + pid
               : "running, but its launcher has not started the program (no " + programPidFile_ +
                     ")";
  }
  return exitedNormally_ ? "exit status " + std::to_string(code_)
                         : "killed by signal " + std::to_string(code_);
}

}  // namespace e2e
