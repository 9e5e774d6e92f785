#include <windows.h>

#include "tbx/SystemInfo.h"

namespace tbx {

int32_t COSInfo::GetMemoryUsage(uint64_t& availableBytes) {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status) || status.ullTotalPhys == 0 ||
      status.ullAvailPhys > status.ullTotalPhys) {
    return -1;
  }
  availableBytes = status.ullAvailPhys;
  return static_cast<int32_t>((status.ullTotalPhys - status.ullAvailPhys) * 100 /
                              status.ullTotalPhys);
}

}  // namespace tbx
