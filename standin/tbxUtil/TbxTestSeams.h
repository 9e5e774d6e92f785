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
KORVEX_EXPORT void OverrideApplicationDir(const std::string& dir);
// 0 restores the real clock (CTimeUtil).
KORVEX_EXPORT void OverrideCurrentSeconds(int64_t secondsSinceEpoch);
// Null restores the /proc service. The fake must outlive its use.
KORVEX_EXPORT void OverrideProcessUtil(IProcessUtil* util);
// <= 0 restores TBX_TIME_SCALE.
KORVEX_EXPORT void OverrideTimeScale(double factor);
// Makes CTimerLoop::exec return (0) after the callback in progress, or the next exec return at
// once when none runs.
KORVEX_EXPORT void QuitTimerLoop();

}  // namespace tbx::testing
