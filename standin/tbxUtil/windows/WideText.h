// Conversions between the narrow texts of the libraries' interfaces, which are in the system's
// ANSI code page as Windows' own narrow calls read them, and the UTF-16 the W calls take.
#pragma once

#include <string>

#include "Export.h"

namespace tbx::windows {

TBXUTIL_API std::wstring Widen(const std::string& text);
TBXUTIL_API std::string Narrow(const std::wstring& text);

}  // namespace tbx::windows
