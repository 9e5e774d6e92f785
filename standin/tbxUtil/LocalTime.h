// The calendar in the local time zone.
#pragma once

#include <cstdint>
#include <ctime>

namespace tbx {

class LocalTime {
 public:
  // The broken-down local time of `secondsSinceEpoch`; all fields 0 when it cannot be had.
  static struct tm Of(int64_t secondsSinceEpoch);
  // Reads the time zone (and its daylight-saving rule) from the system again.
  static void ReloadZone();
};

}  // namespace tbx
