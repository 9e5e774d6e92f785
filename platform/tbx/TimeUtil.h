// tbxUtil: calendar time in the local time zone.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

class TBXUTIL_API CTimeUtil {
 public:
  // The current date and time.
  static CTimeUtil GetCurrentDataTime();
  // Re-reads the daylight-saving rules of the local time zone.
  static void UpdateDstFlag();

  int GetYear() const;        // such as 2024
  int GetMonth() const;       // 1 to 12
  int GetDayOfMonth() const;  // 1 to 31
  int GetHour() const;        // 0 to 23
  int GetMinute() const;
  int GetSecond() const;
  // strftime rendering, such as "%Y-%m-%d %H:%M:%S".
  std::string ToString(const std::string& format) const;

 private:
  explicit CTimeUtil(int64_t secondsSinceEpoch);

  int64_t seconds_;  // seconds since 1970-01-01 00:00 UTC
};

}  // namespace tbx
