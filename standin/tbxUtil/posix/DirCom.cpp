#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tbx/FileUtil.h"
#include "tbx/StringUtil.h"

namespace tbx {
namespace {

std::string CurrentDir() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) {
      return "/";
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// Resolves "." and ".." by the text alone (as the path was walked, not through symbolic
// links); the result is absolute and has no final separator except for the root itself.
std::string Normalise(const std::string& path) {
  std::string absolute = !path.empty() && path[0] == '/' ? path : CurrentDir() + "/" + path;
  std::vector<std::string> parts;
  for (const std::string& part : CStringUtil::stringSplit(absolute, "/", true)) {
    if (part == ".") {
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) {
        parts.pop_back();
      }
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string& part : parts) {
    result += "/" + part;
  }
  return result.empty() ? "/" : result;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

CDirCom::CDirCom(const std::string& path) : path_(path) {}

bool CDirCom::cd(const std::string& relativePath) {
  std::string target = !relativePath.empty() && relativePath[0] == '/'
                           ? relativePath
                           : absolutePath() + "/" + relativePath;
  target = Normalise(target);
  if (!IsDirectory(target)) {
    return false;
  }
  path_ = target;
  return true;
}

std::string CDirCom::absolutePath() const {
  return Normalise(path_);
}

}  // namespace tbx
