#include <time.h>

#include "tbx/SystemInfo.h"

// The one home of this singleton. GCC ignores a visibility attribute here (the class is
// already complete) and exports it by default visibility; a Windows build adds KORVEX_EXPORT.
template class CSingleton<tbx::CGetTickClock>;

namespace tbx {

uint64_t CGetTickClock::GetTickCount() const {
  struct timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

}  // namespace tbx
