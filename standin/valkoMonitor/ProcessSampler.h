// Figures of the own process from the system's counters. Rates (CPU, I/O) are taken between two
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
  int64_t memoryMb = -1;        // memory in use in MiB; -1 when unreadable
  int64_t readKbps = -1;        // bytes read by read operations, KiB per second; -1 unknown
  int64_t writeKbps = -1;       // bytes written by write operations, KiB per second
  int64_t fdCount = -1;         // open descriptors (handles on Windows); -1 when unreadable
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
  uint64_t previousCpuNanoseconds_ = 0;               // the process's CPU time then
  std::map<int64_t, uint64_t> previousThreadCpu_;     // thread id -> its CPU time then, ns
  int64_t previousReadBytes_ = -1;                    // -1 unknown
  int64_t previousWriteBytes_ = -1;                   // -1 unknown
  const uint32_t cpuCount_;                           // processors, at least 1
};

}  // namespace valko::standin
