#include "LocalTime.h"

#include <time.h>

namespace tbx {

struct tm LocalTime::Of(int64_t secondsSinceEpoch) {
  struct tm parts = {};
  time_t value = static_cast<time_t>(secondsSinceEpoch);
  ::localtime_r(&value, &parts);
  return parts;
}

void LocalTime::ReloadZone() {
  ::tzset();
}

}  // namespace tbx
