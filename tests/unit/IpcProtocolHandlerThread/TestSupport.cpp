#include "TestSupport.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "tbx/LogMessage.h"
#include "tbxUtil/TbxTestSeams.h"
#include "valko/Monitor.h"
#include "valko/MtIntf.h"

namespace {

std::mutex g_fakeMutex;
uint64_t g_dropTotal = 0;               // guarded by g_fakeMutex
uint64_t g_dropCalls = 0;               // guarded by g_fakeMutex
std::vector<fakes::Heartbeat> g_beats;  // guarded by g_fakeMutex

// A death test re-runs this binary; the variable hands the parent's log directory to the child
// so that both write one file, and each ctest process gets a directory of its own.
const char kLogDirVariable[] = "IPC_PROTOCOL_TEST_LOG_DIR";

class LogEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv(kLogDirVariable) == nullptr) {
      ownsDir_ = true;
      setenv(kLogDirVariable, ("ipc_protocol_test_log_" + std::to_string(getpid())).c_str(), 1);
    }
    tbx::testing::OverrideTimeScale(0.01);
    tbx::CLogMessage::SetLogDirName(std::getenv(kLogDirVariable));
    ASSERT_NE(tbx::CLogMessage::GetInstance(), nullptr);
    tbx::CLogMessage::GetInstance()->SetLogFileSize(uint64_t{1} << 30);
  }
  void TearDown() override {
    if (ownsDir_) {
      tbx::CLogMessage::Flush();
      std::error_code ignored;
      std::filesystem::remove_all(
          std::filesystem::path(tbx::CLogMessage::GetLogFilePath()).parent_path(), ignored);
    }
  }

 private:
  bool ownsDir_ = false;  // this process chose the directory and removes it
};

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

uint64_t CMtIntf::AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                  bool accumulate) {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  if (counterName == "korvexmonitor_drop_recv_ipc_msg" && amount == 1 && report && accumulate) {
    ++g_dropCalls;
  }
  g_dropTotal += amount;
  return g_dropTotal;
}

template class CSingleton<CMonitor>;
CMonitor::CMonitor() : state_(nullptr) {}
CMonitor::~CMonitor() {}
void* CMonitor::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow);
}
void CMonitor::operator delete(void* memory) noexcept {
  ::operator delete(memory);
}
void CMonitor::operator delete(void* memory, const std::nothrow_t&) noexcept {
  ::operator delete(memory);
}
bool CMonitor::SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                                  uint32_t timeoutSeconds) {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  g_beats.push_back({threadId, name, timeoutSeconds});
  return true;
}

namespace fakes {

void SetDropTotal(uint64_t total) {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  g_dropTotal = total;
}
uint64_t DropCalls() {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  return g_dropCalls;
}
std::vector<Heartbeat> Heartbeats() {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  return g_beats;
}
void ResetAll() {
  std::lock_guard<std::mutex> hold(g_fakeMutex);
  g_dropTotal = g_dropCalls = 0;
  g_beats.clear();
}

}  // namespace fakes

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

namespace {

uint64_t LogSize() {
  tbx::CLogMessage::Flush();
  std::error_code error;
  const auto size = std::filesystem::file_size(tbx::CLogMessage::GetLogFilePath(), error);
  return error ? 0 : size;
}

}  // namespace

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
  // How the stand-in logger renders each level in a record.
  const std::string tag = level == 2   ? "[ERROR]"
                          : level == 3 ? "[WARN]"
                          : level == 4 ? "[INFO]"
                                       : "";
  int count = 0;
  for (const std::string& line : Lines()) {
    const bool endsWithText = line.size() >= text.size() &&
                              line.compare(line.size() - text.size(), text.size(), text) == 0;
    count += endsWithText && line.find(tag) != std::string::npos;
  }
  return count;
}

bool LogTail::WaitFor(const std::string& text) const {
  return WaitUntil([&] { return Count(text) > 0; });
}

void RecordingHandler::Handle(const std::string& data) {
  if (action_) {
    action_();  // first, so that a waiter who sees the call also sees its effects
  }
  std::lock_guard<std::mutex> hold(mutex_);
  calls_.push_back(data);
}

std::vector<std::string> RecordingHandler::Calls() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return calls_;
}

void GateHandler::Handle(const std::string&) {
  std::unique_lock<std::mutex> hold(mutex_);
  ++entered_;
  changed_.notify_all();
  changed_.wait(hold, [this] { return open_; });
}

bool GateHandler::WaitEntered(int count) {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, std::chrono::seconds(10), [&] { return entered_ >= count; });
}

void GateHandler::Open() {
  std::lock_guard<std::mutex> hold(mutex_);
  open_ = true;
  changed_.notify_all();
}
