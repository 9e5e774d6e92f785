// tbxUtil: system facts and small process-wide services.
#pragma once

#include <cstdint>

#include "Export.h"
#include "Singleton.h"

namespace tbx {
class CWinOsVersion;
class CGetTickClock;
}  // namespace tbx
// The homes of these singletons are this library (Singleton.h).
extern template class TBXUTIL_API CSingleton<tbx::CWinOsVersion>;
extern template class TBXUTIL_API CSingleton<tbx::CGetTickClock>;

namespace tbx {

class TBXUTIL_API CSleepUtil {
 public:
  // Lets polling loops sleep longer when the system is busy: above `cpuPercentTimes100`
  // hundredths of a percent of CPU, CThreadUtil::GetSleepRatio grows up to `maxRatio`.
  static void EnableSleep(uint32_t cpuPercentTimes100, uint32_t maxRatio);
};

class TBXUTIL_API COSInfo {
 public:
  // Memory in use as a percentage of physical memory; `availableBytes` gets the available
  // physical memory in bytes. -1 when it cannot be read.
  static int32_t GetMemoryUsage(uint64_t& availableBytes);
};

class TBXUTIL_API CWinOsVersion : public CSingleton<CWinOsVersion> {
 public:
  // The system's version number: major * 1000 + minor * 100 (6100 for 6.1). On this platform
  // above 6100.
  uint32_t GetSysVersion() const;

 private:
  friend class CSingleton<CWinOsVersion>;
  CWinOsVersion() = default;
};

// Milliseconds on a monotonic clock.
class TBXUTIL_API CGetTickClock : public CSingleton<CGetTickClock> {
 public:
  uint64_t GetTickCount() const;

 private:
  friend class CSingleton<CGetTickClock>;
  CGetTickClock() = default;
};

}  // namespace tbx
