#include "ResourceLimits.h"

#include "valkoCommon/KeyValueFile.h"

namespace valko::standin {

bool CResourceLimits::Load(const std::string& path) {
  *this = CResourceLimits();
  CKeyValueFile file;
  if (!file.Load(path)) {
    return false;
  }
  file.GetUnsigned("sample_period_ms", samplePeriodMs);
  file.GetUnsigned("cpu_max_percent", cpuMaxPercent);
  file.GetUnsigned("cpu_max_samples", cpuMaxSamples);
  file.GetUnsigned("mem_max_mb", memMaxMb);
  file.GetUnsigned("rio_max_kbps", rioMaxKbps);
  file.GetUnsigned("wio_max_kbps", wioMaxKbps);
  file.GetUnsigned("fd_max", fdMax);
  file.GetUnsigned("monitor_point_period_ms", monitorPointPeriodMs);
  // A period of 0 would spin; one sample over the limit is the least that can be counted.
  if (samplePeriodMs == 0) {
    samplePeriodMs = 1000;
  }
  if (cpuMaxSamples == 0) {
    cpuMaxSamples = 1;
  }
  if (monitorPointPeriodMs == 0) {
    monitorPointPeriodMs = 60000;
  }
  return true;
}

}  // namespace valko::standin
