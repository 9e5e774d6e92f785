// Shared helpers of the receive-side tests: the counting fakes of the maintenance counter and
// the resource monitor, a reader of the log lines written since a point, and handlers that
// record or hold their calls.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "valko/IProtocolHandler.h"

namespace fakes {

// The drop counter's running total continues from `total` (each call adds its amount).
void SetDropTotal(uint64_t total);
// Calls of AddExceptonInfo("korvexmonitor_drop_recv_ipc_msg", 1, true, true); calls with other
// arguments are not counted.
uint64_t DropCalls();

struct Heartbeat {
  uint32_t threadId;
  std::string name;
  uint32_t timeoutSeconds;
};
std::vector<Heartbeat> Heartbeats();
void ResetAll();

}  // namespace fakes

// Polls `done` until it holds or 10 s have passed: a liveness bound, not a timing check.
bool WaitUntil(const std::function<bool()>& done);

// The log lines written after construction (the log is flushed before each read).
class LogTail {
 public:
  LogTail();
  std::vector<std::string> Lines() const;
  // Lines whose text ends with `text`; with a level (2, 3 or 4), only records of that level.
  int Count(const std::string& text, int level = 0) const;
  bool WaitFor(const std::string& text) const;

 private:
  uint64_t offset_;  // log file size at construction, in bytes
};

// Records every call; optionally runs `action` inside Handle.
class RecordingHandler : public IProtocolHandler {
 public:
  explicit RecordingHandler(std::function<void()> action = nullptr) : action_(std::move(action)) {}
  void Handle(const std::string& data) override;
  std::vector<std::string> Calls() const;
  size_t CallCount() const { return Calls().size(); }

 private:
  std::function<void()> action_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;  // guarded by mutex_
};

// Holds every caller inside Handle until Open().
class GateHandler : public IProtocolHandler {
 public:
  void Handle(const std::string& data) override;
  bool WaitEntered(int count);
  void Open();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int entered_ = 0;    // Handle calls so far
  bool open_ = false;  // callers may leave
};
