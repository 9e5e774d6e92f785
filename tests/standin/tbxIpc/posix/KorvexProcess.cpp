// Korvex.exe as a POSIX child: posix_spawn with its input on a pipe, stopped by SIGTERM.
#include "KorvexProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "IpcTestSupport.h"
#include "support/TestSupport.h"

extern char** environ;

namespace ipctest {

KorvexProcess::KorvexProcess(const std::string& output, const std::vector<std::string>& options)
    : output_(output) {
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    return;
  }
  std::vector<std::string> args = {BinDir() + "/Korvex.exe"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& arg : args) {
    argv.push_back(&arg[0]);
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    process_ = pid;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  stdin_ = in[1];
}

KorvexProcess::~KorvexProcess() {
  CloseStdin();
  if (process_ > 0 && !exited_) {
    kill(static_cast<pid_t>(process_), SIGKILL);
    waitpid(static_cast<pid_t>(process_), nullptr, 0);
  }
}

bool KorvexProcess::Command(const std::string& line) {
  const std::string text = line + "\n";
  return stdin_ >= 0 && write(static_cast<int>(stdin_), text.data(), text.size()) ==
                            static_cast<ssize_t>(text.size());
}

void KorvexProcess::CloseStdin() {
  if (stdin_ >= 0) {
    close(static_cast<int>(stdin_));
    stdin_ = -1;
  }
}

bool KorvexProcess::CanRequestStop() {
  return true;
}

bool KorvexProcess::RequestStop() {
  return process_ > 0 && kill(static_cast<pid_t>(process_), SIGTERM) == 0;
}

int KorvexProcess::WaitForExit() {
  int status = 0;
  const pid_t pid = static_cast<pid_t>(process_);
  exited_ = korvex_test::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; });
  return exited_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool KorvexProcess::Running() {
  return process_ > 0 && waitpid(static_cast<pid_t>(process_), nullptr, WNOHANG) == 0;
}

}  // namespace ipctest
