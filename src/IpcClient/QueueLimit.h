// The limit of the monitor's two message queues, the send list (each priority's list) and the
// received-message queue: one base, scaled by the agent's configured queue size ratio.
#pragma once

#include <cstdint>

#include "valko/Config.h"

// Messages a queue holds at a ratio of 1.
inline constexpr int64_t kQueueLimitBase = 3000;

// The limit in force now. The configuration is asked on every call, so a changed ratio applies
// to the next message.
inline int64_t QueueLimitInForce() {
  return COnlineClientConf::CalcMaxCountWithQueueSizeRatio(kQueueLimitBase);
}
