// Helpers shared by the send list's tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcSendList.h"
#include "IpcClient/QueueLimit.h"
#include "valkoConfig/ConfigTestSeams.h"

namespace sendlist_test {

inline IpcMessage Message(const std::string& data, int32_t priority) {
  IpcMessage message;
  message.type = "T_MSG_TEST";
  message.data = data;
  message.priority = priority;
  return message;
}

// Sets the per-priority limit for the test's lifetime and reads back the limit in force.
class ScopedQueueLimit {
 public:
  explicit ScopedQueueLimit(int64_t wanted) {
    valko::testing::OverrideQueueSizeRatio(static_cast<double>(wanted) / kQueueLimitBase);
    limit_ = QueueLimitInForce();
  }
  ~ScopedQueueLimit() { valko::testing::ClearQueueSizeRatioOverride(); }
  int64_t limit() const { return limit_; }

 private:
  int64_t limit_;  // messages per priority the send list accepts beyond its last one
};

// Pops on another thread so a missing count fails the test instead of hanging it; the guard
// wakes the consumer it gave up on.
inline bool PopWithoutHanging(CIpcSendList& list, IpcMessage& out) {
  IpcMessage popped;
  auto pop = std::async(std::launch::async, [&] { return list.Pop(popped); });
  if (pop.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    list.WakeConsumer();
    pop.wait();
    ADD_FAILURE() << "Pop blocked although a message was counted";
    return false;
  }
  const bool result = pop.get();
  if (result) {
    out = popped;
  }
  return result;
}

}  // namespace sendlist_test
