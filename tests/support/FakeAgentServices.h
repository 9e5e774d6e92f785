// What fake::Platform() (support/FakeIpcClientPlatform.h) recorded of the calls to the resource
// monitor and the maintenance counter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fake_services {

struct Heartbeat {
  uint32_t threadId;
  std::string name;
  uint32_t timeoutSeconds;
};

// SetThreadHeartbeat calls in order.
std::vector<Heartbeat> Heartbeats();
// AddMonitorPoint calls.
int MonitorPointCalls();
// AddExceptonInfo calls as "<name>/<amount>/<report>/<accumulate>", in order.
std::vector<std::string> CounterCalls();
// The counter's running total continues from `total` (each call adds its amount).
void SetCounterTotal(uint64_t total);
// Back to the start: nothing recorded, total 0.
void Reset();

}  // namespace fake_services
