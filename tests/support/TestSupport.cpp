#include "support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "KorvexCommon/WallClock.h"
#include "support/SystemSupport.h"
#include "tbx/LogMessage.h"
#include "tbx/TimeUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/StandinSupport.h"
#include "tbxUtil/TbxTestSeams.h"

namespace korvex_test {
namespace {

namespace fs = std::filesystem;
using system_support::MakeTempDir;

uint64_t LogSize() {
  tbx::standin::FlushLog();
  std::error_code error;
  const auto size = fs::file_size(tbx::standin::LogFilePath(), error);
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
  const char* previous = std::getenv(name.c_str());
  hadPrevious_ = previous != nullptr;
  previous_ = hadPrevious_ ? previous : "";
  system_support::SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
  if (hadPrevious_) {
    system_support::SetEnv(name_, previous_);
  } else {
    system_support::UnsetEnv(name_);
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

std::string SleeperProgram() {
  return KORVEX_SLEEPER;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return done();
    }
    // 1 ms, not less: a shorter sleep returns at once on Windows, and the poll would spin.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

namespace {
std::string g_processLogDir;  // set once, by OpenProcessLog

}  // namespace

std::string system_support::ProcessLogDir() {
  return g_processLogDir;
}

void OpenProcessLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string inherited = system_support::InheritedLogDir();
    static const std::string dir = inherited.empty() ? MakeTempDir() : inherited;
    g_processLogDir = dir;
    const std::string applicationDir = tbx::CToolUtil::GetApplicationDirPath();
    tbx::testing::OverrideApplicationDir(dir);
    tbx::CLogMessage::SetLogDirName("korvex_monitor_log");
    if (tbx::CLogMessage* log = tbx::CLogMessage::GetInstance()) {
      log->SetLogFileSize(uint64_t{1} << 30);
    }
    tbx::testing::OverrideApplicationDir(applicationDir);  // a test's directory stays in force
    if (!inherited.empty()) {
      return;  // the parent's, which removes it
    }
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    });
  });
}

std::string ReadProcessLog() {
  tbx::standin::FlushLog();
  return ReadText(tbx::standin::LogFilePath());
}

LogTail::LogTail() : offset_(LogSize()) {}

std::vector<std::string> LogTail::Lines() const {
  tbx::standin::FlushLog();
  std::ifstream in(tbx::standin::LogFilePath(), std::ios::binary);
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

namespace {

std::atomic<int64_t> g_frozenSeconds{0};

int64_t FrozenSeconds() {
  return g_frozenSeconds.load();
}

}  // namespace

void FreezeClock(int64_t seconds) {
  g_frozenSeconds.store(seconds);
  CWallClock::SetSourceForTesting(seconds == 0 ? nullptr : &FrozenSeconds);
  tbx::testing::OverrideCurrentSeconds(seconds);
}

}  // namespace korvex_test
