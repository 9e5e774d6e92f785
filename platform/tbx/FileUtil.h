// tbxUtil: files and directories. No call throws; failures are results.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Export.h"

namespace tbx {

class TBXUTIL_API CFileUtil {
 public:
  // True for an existing regular file (false for a directory).
  static bool IsFile(const std::string& path);
  // Reads the file's lines, without their line ends ("\n" or "\r\n"), appending at most
  // `maxLines` of them (the first ones) to `lines`. A missing or unreadable file yields no
  // lines and false.
  static bool ReadFileLineToList(const std::string& path, std::vector<std::string>& lines,
                                 size_t maxLines);
  static bool RemoveFile(const std::string& path);
  // With `append` false the file is replaced atomically (a temporary file, then a rename), so a
  // reader sees the old or the new content, never a mix; with `append` true the content is
  // added at the end.
  static bool WriteNewFile(const std::string& path, const std::string& content, bool append);
};

class TBXUTIL_API CDirUtil {
 public:
  // Appends the paths (directory + "/" + name) of the regular files directly in `dir`.
  static bool GetChildFilePath(const std::string& dir, std::vector<std::string>& paths);
  static bool SetCurrentDir(const std::string& dir);
};

// A directory cursor: starts at a path and moves with relative steps.
class TBXUTIL_API CDirCom {
 public:
  explicit CDirCom(const std::string& path);
  // Moves by a relative (or absolute) path such as "../../"; false when the target is not an
  // existing directory, in which case the cursor stays where it was.
  bool cd(const std::string& relativePath);
  // The cursor as an absolute, normalised path without a final separator.
  std::string absolutePath() const;

 private:
  std::string path_;  // the current directory, as given or as moved to
};

}  // namespace tbx
