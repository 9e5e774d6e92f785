// Protocol handlers that record or hold their calls, for the dispatch tests.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "valko/IProtocolHandler.h"

namespace korvex_test {

// Records every call; optionally runs `action` inside Handle, before recording, so that a
// waiter who sees the call also sees the action's effects.
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
  // Waits until `count` callers have entered; false after 10 s.
  bool WaitEntered(int count);
  void Open();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int entered_ = 0;    // Handle calls so far
  bool open_ = false;  // callers may leave
};

}  // namespace korvex_test
