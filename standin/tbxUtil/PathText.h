// Splitting the narrow paths of the libraries' interfaces. On Windows they are in the system's
// ANSI code page, where the second byte of a double-byte character may equal "\": they are
// split as UTF-16, never byte by byte. "/" separates on every system, "\" on Windows too.
#pragma once

#include <string>

namespace tbx {

class PathText {
 public:
  // The directory part without final separators; "" when the path has no separator or only
  // the root precedes the last one ("/x" gives "").
  static std::string DirectoryOf(const std::string& path);
  // What follows the last separator; the whole path when it has none.
  static std::string FileNameOf(const std::string& path);
  // The path without final separators, keeping its first character ("/" stays "/").
  static std::string WithoutFinalSeparators(const std::string& path);
};

}  // namespace tbx
