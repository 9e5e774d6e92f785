#include <time.h>

#include "tbx/SystemInfo.h"

// The one home of this singleton; tbx/SystemInfo.h's declaration exports it.
template class CSingleton<tbx::CGetTickClock>;

namespace tbx {

uint64_t CGetTickClock::GetTickCount() const {
  struct timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

}  // namespace tbx
