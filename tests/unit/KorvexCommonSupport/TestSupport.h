// Helpers shared by the tests of the error records, the crash handler, the resource reactions,
// the directory check and the network configuration: temporary application directories, the
// process log, the error service's report file and forked children.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex_test {

// A fresh directory under $TMPDIR (or /tmp), removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();

  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path_;  // absolute, without a final separator
};

// Makes `dir` the application directory while it lives; the real one afterwards.
class ScopedApplicationDir {
 public:
  explicit ScopedApplicationDir(const std::string& dir);
  ~ScopedApplicationDir();

 private:
  ScopedApplicationDir(const ScopedApplicationDir&) = delete;
  ScopedApplicationDir& operator=(const ScopedApplicationDir&) = delete;
};

// The whole file; "" when it is missing.
std::string ReadText(const std::string& path);
// Creates the file's directory if needed and replaces the file; false on failure.
bool WriteText(const std::string& path, const std::string& content);
bool PathExists(const std::string& path);
// The names of the entries directly in `dir`, sorted.
std::vector<std::string> ListNames(const std::string& dir);

// Opens the process log once per process, in a directory of its own so that test executables
// running side by side do not share a file.
void OpenProcessLog();
// The process log so far (flushed first).
std::string ReadProcessLog();
// How often `text` occurs in `haystack`.
size_t CountOccurrences(const std::string& haystack, const std::string& text);

// The reports in <dir>/report/reports.jsonl, one value per line, in file order.
std::vector<Json::Value> ReadReports(const std::string& dir);
// The reports of one kind ("kill_self", "err_info", ...).
std::vector<Json::Value> ReportsOfKind(const std::string& dir, const std::string& kind);

// The result of a forked child.
struct ChildResult {
  bool exited = false;  // ended through exit or _exit, not by a signal
  int exitCode = -1;    // valid when exited
  int signal = 0;       // the ending signal when !exited
  int pid = 0;          // the child's process id
};

// Runs `body` in a forked child, which exits with status 0 when `body` returns (without
// running the parent's exit handlers), and waits for it. A child still running after 120 s
// is ended by SIGALRM.
ChildResult RunInChild(const std::function<void()>& body);

// 2024-03-09 17:05:42 UTC in seconds since 1970.
constexpr int64_t kMarch9th2024At170542 = 1710003942;
// Renders local time as UTC and freezes the calendar clock at `seconds` (0: the real clock).
void FreezeClockUtc(int64_t seconds);

// Splits at "\n" keeping empty pieces; "" yields no lines.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace korvex_test
