// The sleep ratio: when enabled, polling loops sleep longer while this process uses more CPU
// than the configured share. The share is measured over the whole machine (all processors),
// sampled at most once a second from the process's CPU clock; the ratio is
// ceil(usage / threshold), between 1 and the configured maximum.
#include <time.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"

namespace tbx {
namespace {

constexpr int64_t kSampleEveryNs = 1000000000;  // one sample per second at most

int64_t ClockNs(clockid_t clock) {
  struct timespec now = {};
  ::clock_gettime(clock, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

class SleepPolicy {
 public:
  void Enable(uint32_t threshold, uint32_t maxRatio) {
    std::lock_guard<std::mutex> hold(mutex_);
    threshold_ = threshold;
    maxRatio_ = std::max<uint32_t>(maxRatio, 1);
    ratio_ = 1;
    lastWallNs_ = 0;
  }

  uint32_t Ratio() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (threshold_ == 0) {
      return 1;
    }
    int64_t wall = ClockNs(CLOCK_MONOTONIC);
    int64_t cpu = ClockNs(CLOCK_PROCESS_CPUTIME_ID);
    if (lastWallNs_ != 0 && wall - lastWallNs_ < kSampleEveryNs) {
      return ratio_;
    }
    if (lastWallNs_ != 0) {
      long processors = std::max<long>(std::thread::hardware_concurrency(), 1);
      double usage = static_cast<double>(cpu - lastCpuNs_) /
                     (static_cast<double>(wall - lastWallNs_) * processors) * 10000.0;
      double wanted = usage <= threshold_ ? 1.0 : usage / threshold_;
      uint32_t ratio = static_cast<uint32_t>(std::min<double>(maxRatio_, wanted + 0.999999));
      ratio_ = std::max<uint32_t>(ratio, 1);
    }
    lastWallNs_ = wall;
    lastCpuNs_ = cpu;
    return ratio_;
  }

 private:
  std::mutex mutex_;
  uint32_t threshold_ = 0;  // hundredths of a percent of all processors; 0: ratio stays 1
  uint32_t maxRatio_ = 1;   // upper bound of the ratio
  uint32_t ratio_ = 1;      // the ratio of the last sample
  int64_t lastWallNs_ = 0;  // monotonic time of the last sample, 0 before the first
  int64_t lastCpuNs_ = 0;   // process CPU time at the last sample
};

SleepPolicy& ThePolicy() {
  static SleepPolicy* policy = new SleepPolicy;  // never destroyed: used until _exit
  return *policy;
}

}  // namespace

void CSleepUtil::EnableSleep(uint32_t cpuPercentTimes100, uint32_t maxRatio) {
  ThePolicy().Enable(cpuPercentTimes100, maxRatio);
}

uint32_t CThreadUtil::GetSleepRatio() {
  return ThePolicy().Ratio();
}

}  // namespace tbx
