#include "LocalTime.h"

#include <time.h>

namespace tbx {

struct tm LocalTime::Of(int64_t secondsSinceEpoch) {
  struct tm parts = {};
  time_t value = static_cast<time_t>(secondsSinceEpoch);
  if (::localtime_s(&parts, &value) != 0) {
    parts = tm{};
  }
  return parts;
}

void LocalTime::ReloadZone() {
  ::_tzset();
}

}  // namespace tbx
