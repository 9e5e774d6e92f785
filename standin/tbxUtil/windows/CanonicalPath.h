// One spelling per file: the path the file system itself reports for an open file (links and
// 8.3 short names resolved, each name in its stored letter case), without the "\\?\" prefix
// ("\\?\UNC\server\share" becomes "\\server\share"). Comparing such paths as text compares
// files.
#pragma once

#include <string>

#include "Export.h"

namespace tbx::windows {

// The canonical path of an existing file or directory. When it cannot be opened, its full path
// with long names where the system can supply them; "" for an empty path.
TBXUTIL_API std::wstring CanonicalPath(const std::wstring& path);

}  // namespace tbx::windows
