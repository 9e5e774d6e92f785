// Paths are normalised by their text ("." and ".." as walked, not through links) with the
// system's separators; a drive root keeps its separator ("C:\").
#include <windows.h>

#include <filesystem>

#include "WideText.h"
#include "tbx/FileUtil.h"

namespace tbx {
namespace {

std::filesystem::path PathOf(const std::string& text) {
  return std::filesystem::path(windows::Widen(text));
}

std::string Normalise(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) {
    absolute = path;
  }
  std::wstring text = absolute.lexically_normal().wstring();
  while (text.size() > 1 && (text.back() == L'\\' || text.back() == L'/') &&
         text[text.size() - 2] != L':') {
    text.pop_back();
  }
  return windows::Narrow(text);
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(windows::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

CDirCom::CDirCom(const std::string& path) : path_(path) {}

bool CDirCom::cd(const std::string& relativePath) {
  std::filesystem::path relative = PathOf(relativePath);
  std::string target =
      Normalise(relative.is_absolute() ? relative : PathOf(absolutePath()) / relative);
  if (!IsDirectory(target)) {
    return false;
  }
  path_ = target;
  return true;
}

std::string CDirCom::absolutePath() const {
  return Normalise(PathOf(path_));
}

}  // namespace tbx
