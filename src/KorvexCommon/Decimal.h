// Whole numbers as text in the monitor's reports, dump names and pid file.
#pragma once

#include <cstdint>
#include <string>

#include "tbx/StringUtil.h"

// `value` in decimal: a leading "-" when negative, no leading zeros.
inline std::string Decimal(int64_t value) {
  return tbx::CStringUtil::IntToString(value, nullptr, 10);
}
