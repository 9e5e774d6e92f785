// Shared helpers of the utility library's tests: scratch directories and child processes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tbxtest {

// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path_;  // absolute, without a final separator
};

// Starts `program` with `args` (argv[0] is `program`); -1 on failure.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args);
// Waits for the child: its exit status, or 128 + signal when a signal ended it.
int WaitExit(pid_t pid);
// Runs the tests' helper program with a scenario and its arguments; its status as WaitExit.
int RunChild(const std::vector<std::string>& args);
// The path of the helper program.
std::string ChildProgram();

// The whole file, "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Occurrences of `needle` in `text`.
size_t CountOf(const std::string& text, const std::string& needle);

}  // namespace tbxtest
