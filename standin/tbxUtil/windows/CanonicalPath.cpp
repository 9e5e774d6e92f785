#include "CanonicalPath.h"

#include <windows.h>

#include <vector>

namespace tbx::windows {
namespace {

// The path without its verbatim prefix: "\\?\C:\x" is "C:\x", "\\?\UNC\s\h\x" is "\\s\h\x".
std::wstring WithoutVerbatimPrefix(const std::wstring& path) {
  const std::wstring unc = L"\\\\?\\UNC\\";
  const std::wstring verbatim = L"\\\\?\\";
  if (path.compare(0, unc.size(), unc) == 0) {
    return L"\\\\" + path.substr(unc.size());
  }
  if (path.compare(0, verbatim.size(), verbatim) == 0) {
    return path.substr(verbatim.size());
  }
  return path;
}

// Calls `query(buffer, size)`, which returns the length written or the size it needs (both
// without the terminator, as the path calls do), until the text fits; "" when it fails.
template <class Query>
std::wstring GrowingQuery(Query query) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return std::wstring();
    }
    if (length < buffer.size()) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(static_cast<size_t>(length) + 1);
  }
  return std::wstring();
}

std::wstring FinalPath(const std::wstring& path) {
  // No access is asked for, so a running program's image or a directory opens as well; backup
  // semantics are what lets a directory open at all.
  HANDLE file =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::wstring();
  }
  std::wstring final = GrowingQuery([file](wchar_t* buffer, DWORD size) {
    return ::GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  ::CloseHandle(file);
  return final;
}

}  // namespace

std::wstring CanonicalPath(const std::wstring& path) {
  if (path.empty()) {
    return path;
  }
  std::wstring final = FinalPath(path);
  if (!final.empty()) {
    return WithoutVerbatimPrefix(final);
  }
  std::wstring full = GrowingQuery([&path](wchar_t* buffer, DWORD size) {
    return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
  if (full.empty()) {
    return path;
  }
  std::wstring longPath = GrowingQuery([&full](wchar_t* buffer, DWORD size) {
    return ::GetLongPathNameW(full.c_str(), buffer, size);
  });
  return WithoutVerbatimPrefix(longPath.empty() ? full : longPath);
}

}  // namespace tbx::windows
