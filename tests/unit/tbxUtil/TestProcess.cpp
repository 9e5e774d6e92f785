#include "TestProcess.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tbxtest {

TempDir::TempDir() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/tbxtest.XXXXXX";
  if (::mkdtemp(&pattern[0]) != nullptr) {
    path_ = pattern;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) {
    std::filesystem::remove_all(path_, ignored);
  }
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
  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

std::string ChildProgram() {
  return TBX_TEST_CHILD;
}

int RunChild(const std::vector<std::string>& args) {
  pid_t pid = Spawn(ChildProgram(), args);
  return pid < 0 ? -1 : WaitExit(pid);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

size_t CountOf(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace tbxtest
