#include "unit/KorvexCommonSupport/TestSupport.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "tbx/LogMessage.h"
#include "tbx/TimeUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/TbxTestSeams.h"

namespace korvex_test {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

TempDir::TempDir() : path_(MakeTempDir()) {}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedApplicationDir::ScopedApplicationDir(const std::string& dir) {
  tbx::testing::OverrideApplicationDir(dir);
}

ScopedApplicationDir::~ScopedApplicationDir() {
  tbx::testing::OverrideApplicationDir("");
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteText(const std::string& path, const std::string& content) {
  std::error_code ignored;
  fs::create_directories(fs::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out.flush());
}

bool PathExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void OpenProcessLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    static const std::string dir = MakeTempDir();
    const std::string applicationDir = tbx::CToolUtil::GetApplicationDirPath();
    tbx::testing::OverrideApplicationDir(dir);
    tbx::CLogMessage::SetLogDirName("korvex_monitor_log");
    tbx::CLogMessage::GetInstance();
    tbx::testing::OverrideApplicationDir(applicationDir);  // a test's directory stays in force
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    });
  });
}

std::string ReadProcessLog() {
  tbx::CLogMessage::Flush();
  return ReadText(tbx::CLogMessage::GetLogFilePath());
}

size_t CountOccurrences(const std::string& haystack, const std::string& text) {
  size_t count = 0;
  for (size_t at = haystack.find(text); at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

std::vector<Json::Value> ReadReports(const std::string& dir) {
  std::vector<Json::Value> reports;
  Json::CharReaderBuilder builder;
  for (const std::string& line : SplitLines(ReadText(dir + "/report/reports.jsonl"))) {
    if (line.empty()) {
      continue;
    }
    Json::Value value;
    std::string errors;
    std::istringstream in(line);
    if (!Json::parseFromStream(builder, in, &value, &errors)) {
      value = Json::Value("unparsable: " + line);
    }
    reports.push_back(value);
  }
  return reports;
}

std::vector<Json::Value> ReportsOfKind(const std::string& dir, const std::string& kind) {
  std::vector<Json::Value> selected;
  for (const Json::Value& report : ReadReports(dir)) {
    if (report.isObject() && report["kind"].asString() == kind) {
      selected.push_back(report);
    }
  }
  return selected;
}

ChildResult RunInChild(const std::function<void()>& body) {
  tbx::CLogMessage::Flush();  // nothing buffered is written twice
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    std::abort();
  }
  if (child == 0) {
    ::alarm(120);  // a child that hangs ends by SIGALRM instead of stalling the test run
    body();
    tbx::CLogMessage::Flush();
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

void FreezeClockUtc(int64_t seconds) {
  ::setenv("TZ", "UTC", 1);
  tbx::CTimeUtil::UpdateDstFlag();
  tbx::testing::OverrideCurrentSeconds(seconds);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) {
    return lines;
  }
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace korvex_test
