// The name of the single-instance guard's mutex, in the global namespace so that instances in
// every session (a service's session 0 and each user's) meet under it. It holds the guard name,
// the guard path and the extra text; the guard path's directory is canonical and its letter case
// folded, so every spelling of one directory (8.3 short names, other letter case, "\\?\",
// "/" or "..") gives one name. A name too long for the system holds a hash of that text instead.
#pragma once

#include <string>

#include "Export.h"

namespace tbx::windows {

TBXUTIL_API std::wstring GuardName(const std::string& name, const std::string& path,
                                   const std::string& extra);

}  // namespace tbx::windows
