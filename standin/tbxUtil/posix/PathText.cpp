#include "PathText.h"

namespace tbx {

std::string PathText::DirectoryOf(const std::string& path) {
  size_t end = path.find_last_of('/');
  if (end == std::string::npos) {
    return std::string();
  }
  while (end > 0 && path[end - 1] == '/') {
    --end;
  }
  return path.substr(0, end);
}

std::string PathText::FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathText::WithoutFinalSeparators(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') {
    trimmed.pop_back();
  }
  return trimmed;
}

}  // namespace tbx
