// Test seams of the stand-in utility library. The monitor's unit tests use them to place the
// application directory, freeze the calendar clock, fake the process service, speed time and
// leave the timer loop.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"
#include "tbx/ProcessUtil.h"

namespace tbx::testing {

// "" restores the directory of /proc/self/exe.
TBXUTIL_API void OverrideApplicationDir(const std::string& dir);
// 0 restores the real clock (CTimeUtil).
TBXUTIL_API void OverrideCurrentSeconds(int64_t secondsSinceEpoch);
// Null restores the /proc service. The fake must outlive its use.
TBXUTIL_API void OverrideProcessUtil(IProcessUtil* util);
// <= 0 restores TBX_TIME_SCALE.
TBXUTIL_API void OverrideTimeScale(double factor);
// Makes CTimerLoop::exec return (0) after the callback in progress, or the next exec return at
// once when none runs.
TBXUTIL_API void QuitTimerLoop();

}  // namespace tbx::testing
