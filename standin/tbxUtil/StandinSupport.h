// Switches shared by every stand-in library: injected failures and the clock factor.
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

}  // namespace tbx::standin
