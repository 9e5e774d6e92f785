// printf-style rendering into a string of any length, shared by the log and CStringUtil.
#pragma once

#include <cstdarg>
#include <string>

namespace tbx {

// Renders `format` with `args` (consumed); "" for a null format or a rendering error.
std::string VFormat(const char* format, va_list args);

}  // namespace tbx
