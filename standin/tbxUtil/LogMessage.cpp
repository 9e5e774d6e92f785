// The process log over a rotating file sink. Every record is flushed to the kernel as it is
// written, so a process that ends with _exit (Terminate, ExitProcess, a crash) keeps its last
// line. One mutex serialises the sink; a thread that re-enters while holding it (a crash
// inside a log call, handled on the same thread) drops its record instead of deadlocking.
#include "tbx/LogMessage.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

#include <spdlog/common.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include "Directories.h"
#include "StandinSupport.h"
#include "TextFormat.h"
#include "ThreadIdentity.h"
#include "ThreadNameRegistry.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"

namespace tbx {
namespace {

constexpr uint64_t kDefaultFileBytes = 10 * 1024 * 1024;  // until SetLogFileSize
constexpr size_t kRotatedFiles = 5;                       // older files kept beside the log

struct LogState {
  std::mutex mutex;
  std::atomic<int64_t> holder{0};               // thread id inside the mutex, 0 when free
  std::string dirName = "log";                  // below the application directory
  std::atomic<CLogMessage*> instance{nullptr};  // set once the file is open; never destroyed
  std::string path;                             // the file being written
  uint64_t fileBytes = kDefaultFileBytes;
  std::shared_ptr<spdlog::sinks::rotating_file_sink_st> sink;  // null before the file opens
};

LogState& State() {
  static LogState* state = new LogState;  // never destroyed: threads log until _exit
  return *state;
}

int64_t ThreadId() {
  return static_cast<int64_t>(ThreadIdentity::CurrentId());
}

// Holds the state's mutex, unless the calling thread already holds it (re-entry from a
// fatal-signal handler), in which case owns() is false and the caller must back off.
class StateLock {
 public:
  explicit StateLock(LogState& state) : state_(state), self_(ThreadId()) {
    if (state_.holder.load() == self_) {
      return;
    }
    state_.mutex.lock();
    state_.holder.store(self_);
    owns_ = true;
  }
  ~StateLock() {
    if (owns_) {
      state_.holder.store(0);
      state_.mutex.unlock();
    }
  }
  bool owns() const { return owns_; }

 private:
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
  LogState& state_;
  int64_t self_;       // the calling thread's id
  bool owns_ = false;  // true when this object locked the mutex
};

std::shared_ptr<spdlog::sinks::rotating_file_sink_st> OpenSink(const std::string& path,
                                                               uint64_t fileBytes) {
  try {
    auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_st>(
        path, static_cast<size_t>(fileBytes), kRotatedFiles);
    // Lines end with "\n" on every system (spdlog's default is "\r\n" on Windows), so a log
    // reads and splits the same wherever it was written.
    sink->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "%Y-%m-%d %H:%M:%S.%e %v", spdlog::pattern_time_type::local, "\n"));
    return sink;
  } catch (const std::exception&) {
    return nullptr;
  }
}

const char* LevelName(int level) {
  switch (level) {
    case TBX_LOG_ERROR:
      return "ERROR";
    case TBX_LOG_WARN:
      return "WARN";
    case TBX_LOG_INFO:
      return "INFO";
    default:
      return level < TBX_LOG_ERROR ? "FATAL" : "DEBUG";
  }
}

spdlog::level::level_enum SinkLevel(int level) {
  if (level <= TBX_LOG_ERROR) {
    return spdlog::level::err;
  }
  return level == TBX_LOG_WARN ? spdlog::level::warn : spdlog::level::info;
}

// "[LEVEL] [name|tid] " with the thread's registered name, or "[LEVEL] [tid] ".
std::string RecordPrefix(int level) {
  int64_t tid = ThreadId();
  std::string name = ThreadNameRegistry::Get(tid);
  std::string thread = name.empty() ? std::to_string(tid) : name + "|" + std::to_string(tid);
  return std::string("[") + LevelName(level) + "] [" + thread + "] ";
}

void WriteRecord(int level, const std::string& record) {
  LogState& state = State();
  StateLock lock(state);
  if (!lock.owns() || state.sink == nullptr) {
    return;
  }
  try {
    spdlog::details::log_msg message(spdlog::string_view_t(), SinkLevel(level),
                                     spdlog::string_view_t(record));
    state.sink->log(message);
    state.sink->flush();
  } catch (const std::exception&) {
    // A full disk or a vanished directory loses this record, not the process.
  }
}

}  // namespace

void CLogMessage::SetLogDirName(const std::string& dirName) {
  LogState& state = State();
  StateLock lock(state);
  if (lock.owns() && state.instance.load() == nullptr) {
    state.dirName = dirName;
  }
}

CLogMessage* CLogMessage::GetInstance() {
  LogState& state = State();
  StateLock lock(state);
  if (!lock.owns() || state.instance.load() != nullptr) {
    return state.instance.load();
  }
  if (standin::ShouldFail("CLogMessage::GetInstance")) {
    return nullptr;
  }
  std::string dir = CToolUtil::GetApplicationDirPath();
  if (!state.dirName.empty()) {
    dir += "/" + state.dirName;
  }
  if (!Directories::Make(dir)) {
    return nullptr;
  }
  std::string base = CToolUtil::GetApplicationFileName();
  if (CStringUtil::stringEndWith(base, ".exe", true)) {
    base.resize(base.size() - 4);
  }
  std::string path = dir + "/" + (base.empty() ? std::string("tbx") : base) + ".log";
  state.sink = OpenSink(path, state.fileBytes);
  if (state.sink == nullptr) {
    return nullptr;
  }
  state.path = path;
  state.instance.store(new CLogMessage);
  return state.instance;
}

void CLogMessage::SetLogFileSize(uint64_t bytes) {
  LogState& state = State();
  StateLock lock(state);
  if (!lock.owns() || bytes == 0 || bytes == state.fileBytes) {
    return;
  }
  // The sink takes its limit at construction: a new limit needs a new sink on the same file.
  auto sink = OpenSink(state.path, bytes);
  if (sink != nullptr) {
    state.sink->flush();
    state.sink = sink;
    state.fileBytes = bytes;
  }
}

void CLogMessage::log(int level, const char* source, int line, const char* format, ...) {
  if (State().instance.load() == nullptr || format == nullptr) {
    return;
  }
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  std::string record = RecordPrefix(level) + (source != nullptr ? source : "") + ":" +
                       std::to_string(line) + " " + text;
  WriteRecord(level, record);
}

void CLogMessage::WriteLogMessage(const std::string& text, int level) {
  if (State().instance.load() == nullptr) {
    return;
  }
  WriteRecord(level, RecordPrefix(level) + text);
}

}  // namespace tbx

namespace tbx::standin {

void FlushLog() {
  LogState& state = State();
  StateLock lock(state);
  if (!lock.owns() || state.sink == nullptr) {
    return;
  }
  try {
    state.sink->flush();
  } catch (const std::exception&) {
  }
}

std::string LogFilePath() {
  LogState& state = State();
  StateLock lock(state);
  return lock.owns() ? state.path : std::string();
}

}  // namespace tbx::standin
