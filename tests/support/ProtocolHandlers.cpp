#include "support/ProtocolHandlers.h"

#include <chrono>

namespace korvex_test {

void RecordingHandler::Handle(const std::string& data) {
  if (action_) {
    action_();
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

}  // namespace korvex_test
