#include "MemInfo.h"
#include "tbx/SystemInfo.h"

namespace tbx {

int32_t COSInfo::GetMemoryUsage(uint64_t& availableBytes) {
  standin::MemInfo info;
  if (!info.Read()) {
    return -1;
  }
  uint64_t total = info.Bytes("MemTotal");
  // Kernels before 3.14 lack MemAvailable; free memory is the nearest figure there.
  uint64_t available = info.Bytes("MemAvailable");
  if (available == 0) {
    available = info.Bytes("MemFree");
  }
  if (total == 0 || available > total) {
    return -1;
  }
  availableBytes = available;
  return static_cast<int32_t>((total - available) * 100 / total);
}

}  // namespace tbx
