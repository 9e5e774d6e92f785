#include <windows.h>

#include <algorithm>

#include "WideText.h"
#include "tbx/FileUtil.h"

namespace tbx {

bool CDirUtil::GetChildFilePath(const std::string& dir, std::vector<std::string>& paths) {
  if (dir.empty()) {
    return false;
  }
  // Looked at as UTF-16: the last byte of a narrow path may be the second of a character.
  const std::wstring wide = windows::Widen(dir);
  const bool separated = !wide.empty() && (wide.back() == L'/' || wide.back() == L'\\');
  const std::string prefix = separated ? dir : dir + "/";
  WIN32_FIND_DATAW entry;
  const std::wstring pattern = (separated ? wide : wide + L"/") + L"*";
  HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty directory still lists "." and ".."; no match at all means no directory.
    return false;
  }
  std::vector<std::string> found;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      found.push_back(prefix + windows::Narrow(entry.cFileName));
    }
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  // The file system's order; a sorted list keeps callers deterministic.
  std::sort(found.begin(), found.end());
  paths.insert(paths.end(), found.begin(), found.end());
  return true;
}

bool CDirUtil::SetCurrentDir(const std::string& dir) {
  return !dir.empty() && ::SetCurrentDirectoryW(windows::Widen(dir).c_str());
}

}  // namespace tbx
