// The running totals the system keeps for the own process, read afresh on every call. The
// resource monitor's sampler turns two readings into rates.
#pragma once

#include <cstdint>
#include <map>

namespace valko::standin {

struct ProcessCounters {
  int64_t residentBytes = -1;   // memory in use (resident set, or working set); -1 unknown
  int64_t openHandles = -1;     // open descriptors, or handles; -1 unknown
  bool haveCpu = false;         // the CPU times below are valid
  uint64_t cpuNanoseconds = 0;  // user + system time of the process
  std::map<int64_t, uint64_t> threadCpuNanoseconds;  // thread id -> its user + system time
  bool haveIo = false;                               // the byte counts below are valid
  int64_t readBytes = 0;   // moved by read operations: files, pipes and sockets alike
  int64_t writeBytes = 0;  // moved by write operations
};

// The calling process's counters.
ProcessCounters ReadOwnProcessCounters();

// Processors the system runs on, at least 1.
uint32_t ProcessorCount();

}  // namespace valko::standin
