// The calendar clock the monitor stamps and times with. The utility library's calendar gives
// date parts only, so the seconds since 1970-01-01 00:00 UTC come from the C runtime's clock.
#pragma once

#include <cstdint>

class CWallClock {
 public:
  // Seconds since 1970-01-01 00:00 UTC.
  static int64_t NowSeconds();

  // A replacement clock for tests; null restores the C runtime's. Safe to call while other
  // threads read the clock.
  using Source = int64_t (*)();
  static void SetSourceForTesting(Source source);
};
