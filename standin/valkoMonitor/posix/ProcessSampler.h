// Figures of the own process, read from /proc/self. Rates (CPU, I/O) are taken between two
// consecutive Sample calls, so the first call has none.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>

namespace valko::standin {

struct ResourceSample {
  bool hasRates = false;        // CPU and I/O figures below are valid
  int64_t cpuPercent = 0;       // CPU time over the interval as a share of the whole machine
  int64_t busiestThreadId = 0;  // the thread that used most CPU in the interval; 0 if none
  int64_t memoryMb = -1;        // resident memory in MiB; -1 when unreadable
  int64_t readKbps = -1;        // bytes read through system calls, KiB per second; -1 unknown
  int64_t writeKbps = -1;       // bytes written through system calls, KiB per second
  int64_t fdCount = -1;         // open descriptors; -1 when unreadable
};

class CProcessSampler {
 public:
  CProcessSampler();

  ResourceSample Sample();

 private:
  CProcessSampler(const CProcessSampler&) = delete;
  CProcessSampler& operator=(const CProcessSampler&) = delete;

  bool hasPrevious_ = false;                          // a previous Sample exists
  std::chrono::steady_clock::time_point previousAt_;  // when it was taken
  uint64_t previousCpuTicks_ = 0;                     // process user + system clock ticks
  std::map<int64_t, uint64_t> previousThreadTicks_;   // thread id -> its clock ticks
  int64_t previousReadBytes_ = -1;                    // rchar of /proc/self/io, -1 unknown
  int64_t previousWriteBytes_ = -1;                   // wchar of /proc/self/io, -1 unknown
  const long ticksPerSecond_;                         // sysconf(_SC_CLK_TCK)
  const long cpuCount_;                               // online processors, at least 1
  const long pageSize_;                               // bytes
};

}  // namespace valko::standin
