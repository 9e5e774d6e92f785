// What the stand-in libraries share beyond the contract: injected failures, the clock factor,
// the log file and the calendar clock.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx::standin {

// True when `operation` (e.g. "CWhiteList::Init") is in the comma list TBX_STANDIN_FAIL.
// The variable is read on every call, so a test may change it between calls.
TBXUTIL_API bool ShouldFail(const std::string& operation);

// The TBX_TIME_SCALE factor (1.0 when unset or invalid), or the factor a test set with
// tbx::testing::OverrideTimeScale. The variable is read once and cached.
TBXUTIL_API double TimeScale();

// `milliseconds` multiplied by TimeScale(), rounded; at least 1 when `milliseconds` is not 0.
TBXUTIL_API uint64_t ScaleMilliseconds(uint64_t milliseconds);

// The process log: writes everything buffered to disk (before the process ends), and the path
// of the file being written ("" before CLogMessage::GetInstance succeeded).
TBXUTIL_API void FlushLog();
TBXUTIL_API std::string LogFilePath();

// Seconds since 1970-01-01 00:00 UTC on the calendar clock behind CTimeUtil, which
// tbx::testing::OverrideCurrentSeconds freezes.
TBXUTIL_API int64_t CurrentSeconds();

}  // namespace tbx::standin
