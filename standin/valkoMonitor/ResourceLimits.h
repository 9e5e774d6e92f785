// The resource monitor's settings, read from its configuration file (key = value lines, "#"
// comments). A limit that is missing or 0 is off.
#pragma once

#include <cstdint>
#include <string>

namespace valko::standin {

struct CResourceLimits {
  uint64_t samplePeriodMs = 1000;         // sample_period_ms, before TBX_TIME_SCALE
  uint64_t cpuMaxPercent = 0;             // cpu_max_percent, share of the whole machine
  uint64_t cpuMaxSamples = 1;             // cpu_max_samples, consecutive samples over it
  uint64_t memMaxMb = 0;                  // mem_max_mb, resident memory in MiB
  uint64_t rioMaxKbps = 0;                // rio_max_kbps, reads in KiB per second
  uint64_t wioMaxKbps = 0;                // wio_max_kbps, writes in KiB per second
  uint64_t fdMax = 0;                     // fd_max, open descriptors
  uint64_t monitorPointPeriodMs = 60000;  // monitor_point_period_ms, before TBX_TIME_SCALE

  // Reads the file over the defaults; a malformed value leaves that default. False when the
  // file cannot be read (every field then keeps its default).
  bool Load(const std::string& path);
};

}  // namespace valko::standin
