#include "support/TestSupport.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "tbx/LogMessage.h"
#include "tbx/TimeUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/TbxTestSeams.h"

extern char** environ;

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

uint64_t LogSize() {
  tbx::CLogMessage::Flush();
  std::error_code error;
  const auto size = fs::file_size(tbx::CLogMessage::GetLogFilePath(), error);
  return error ? 0 : size;
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

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  const char* previous = ::getenv(name.c_str());
  hadPrevious_ = previous != nullptr;
  previous_ = hadPrevious_ ? previous : "";
  ::setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (hadPrevious_) {
    ::setenv(name_.c_str(), previous_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
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

size_t CountOccurrences(const std::string& haystack, const std::string& text) {
  size_t count = 0;
  for (size_t at = haystack.find(text); at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool ParseJson(const std::string& text, Json::Value* value) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), value, &errors)) {
    *value = Json::Value();
    return false;
  }
  return true;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

void OpenProcessLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    static const std::string dir = MakeTempDir();
    const std::string applicationDir = tbx::CToolUtil::GetApplicationDirPath();
    tbx::testing::OverrideApplicationDir(dir);
    tbx::CLogMessage::SetLogDirName("korvex_monitor_log");
    if (tbx::CLogMessage* log = tbx::CLogMessage::GetInstance()) {
      log->SetLogFileSize(uint64_t{1} << 30);
    }
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

LogTail::LogTail() : offset_(LogSize()) {}

std::vector<std::string> LogTail::Lines() const {
  tbx::CLogMessage::Flush();
  std::ifstream in(tbx::CLogMessage::GetLogFilePath(), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset_));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

int LogTail::Count(const std::string& text, int level) const {
  // How the stand-in logger renders each level.
  const std::string tag = level == 2   ? "[ERROR]"
                          : level == 3 ? "[WARN]"
                          : level == 4 ? "[INFO]"
                                       : "";
  int count = 0;
  for (const std::string& line : Lines()) {
    count += EndsWith(line, text) && line.find(tag) != std::string::npos;
  }
  return count;
}

int LogTail::CountContaining(const std::string& text) const {
  int count = 0;
  for (const std::string& line : Lines()) {
    count += line.find(text) != std::string::npos;
  }
  return count;
}

bool LogTail::WaitFor(const std::string& text) const {
  return WaitUntil([&] { return Count(text) > 0; });
}

std::vector<Json::Value> ReadReports(const std::string& dir) {
  std::vector<Json::Value> reports;
  for (const std::string& line : SplitLines(ReadText(dir + "/report/reports.jsonl"))) {
    Json::Value value;
    if (!line.empty()) {
      reports.push_back(ParseJson(line, &value) ? value : Json::Value("unparsable: " + line));
    }
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
  tbx::testing::OverrideCurrentSeconds(seconds);
}

}  // namespace korvex_test
