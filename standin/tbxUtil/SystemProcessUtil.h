// The process service of this system (over /proc, or Toolhelp32 on Windows).
#pragma once

#include "tbx/ProcessUtil.h"

namespace tbx {

// A new service; the caller owns it.
IProcessUtil* NewSystemProcessUtil();

}  // namespace tbx
