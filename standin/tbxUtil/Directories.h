// Creating directories from the narrow paths of the libraries' interfaces, read as the system
// reads them (on Windows in its ANSI code page, never as std::filesystem reads narrow text).
#pragma once

#include <string>

#include "Export.h"

namespace tbx {

class TBXUTIL_API Directories {
 public:
  // Creates the directory and any missing parent; true when it exists afterwards.
  static bool Make(const std::string& path);
};

}  // namespace tbx
