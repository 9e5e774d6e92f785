#include "ProcessSampler.h"

#include <utility>

#include "ProcessCounters.h"

namespace valko::standin {
namespace {

int64_t KibPerSecond(int64_t bytes, double seconds) {
  if (bytes < 0 || seconds <= 0.0) {
    return 0;
  }
  return static_cast<int64_t>(static_cast<double>(bytes) / 1024.0 / seconds);
}

}  // namespace

CProcessSampler::CProcessSampler() : cpuCount_(ProcessorCount()) {}

ResourceSample CProcessSampler::Sample() {
  ResourceSample sample;
  const auto now = std::chrono::steady_clock::now();
  ProcessCounters counters = ReadOwnProcessCounters();
  sample.memoryMb = counters.residentBytes < 0 ? -1 : counters.residentBytes / (1024 * 1024);
  sample.fdCount = counters.openHandles;

  const double seconds = std::chrono::duration<double>(now - previousAt_).count();
  if (hasPrevious_ && counters.haveCpu && seconds > 0.0) {
    sample.hasRates = true;
    const double cpuSeconds =
        static_cast<double>(counters.cpuNanoseconds - previousCpuNanoseconds_) / 1e9;
    sample.cpuPercent =
        static_cast<int64_t>(cpuSeconds / seconds / static_cast<double>(cpuCount_) * 100.0);
    uint64_t busiest = 0;
    for (const auto& [id, nanoseconds] : counters.threadCpuNanoseconds) {
      const auto before = previousThreadCpu_.find(id);
      const uint64_t used = nanoseconds - (before == previousThreadCpu_.end() ? 0 : before->second);
      if (used > busiest) {
        busiest = used;
        sample.busiestThreadId = id;
      }
    }
    if (counters.haveIo && previousReadBytes_ >= 0) {
      sample.readKbps = KibPerSecond(counters.readBytes - previousReadBytes_, seconds);
      sample.writeKbps = KibPerSecond(counters.writeBytes - previousWriteBytes_, seconds);
    }
  }

  hasPrevious_ = counters.haveCpu;
  previousAt_ = now;
  previousCpuNanoseconds_ = counters.cpuNanoseconds;
  previousThreadCpu_ = std::move(counters.threadCpuNanoseconds);
  previousReadBytes_ = counters.haveIo ? counters.readBytes : -1;
  previousWriteBytes_ = counters.haveIo ? counters.writeBytes : -1;
  return sample;
}

}  // namespace valko::standin
