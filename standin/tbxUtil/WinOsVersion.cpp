#include "tbx/SystemInfo.h"

// The one home of this singleton. GCC ignores a visibility attribute here (the class is
// already complete) and exports it by default visibility; a Windows build adds KORVEX_EXPORT.
template class CSingleton<tbx::CWinOsVersion>;

namespace tbx {

uint32_t CWinOsVersion::GetSysVersion() const {
  // This platform has every facility of the newest system version the monitor knows: 10.0.
  return 10000;
}

}  // namespace tbx
