#include "tbx/SystemInfo.h"

// The one home of this singleton; tbx/SystemInfo.h's declaration exports it.
template class CSingleton<tbx::CWinOsVersion>;

namespace tbx {

uint32_t CWinOsVersion::GetSysVersion() const {
  // This platform has every facility of the newest system version the monitor knows: 10.0.
  return 10000;
}

}  // namespace tbx
