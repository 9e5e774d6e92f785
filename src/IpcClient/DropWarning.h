// The warning about dropped messages, shared by the send list's and the receive queue's owners.
#pragma once

#include <cstdint>

#include "tbx/LogMessage.h"

// Logs "<what> <dropNumber>" at the warning level for the 1st, 1001st, 2001st... drop, so that a
// flood of drops shows in the log without flooding it. `dropNumber` counts this drop.
inline void WarnOfDrop(const char* source, int line, const char* what, uint64_t dropNumber) {
  constexpr uint64_t kDropsPerWarning = 1000;
  if (dropNumber % kDropsPerWarning == 1) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, source, line, "%s %llu", what,
                          static_cast<unsigned long long>(dropNumber));
  }
}
