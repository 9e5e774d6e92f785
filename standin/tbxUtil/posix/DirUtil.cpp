#include "tbx/FileUtil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace tbx {

bool CDirUtil::GetChildFilePath(const std::string& dir, std::vector<std::string>& paths) {
  if (dir.empty()) {
    return false;
  }
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) {
    return false;
  }
  std::string prefix = dir.back() == '/' ? dir : dir + "/";
  std::vector<std::string> found;
  while (struct dirent* entry = ::readdir(stream)) {
    std::string path = prefix + entry->d_name;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      found.push_back(std::move(path));
    }
  }
  ::closedir(stream);
  // readdir's order is the file system's; a sorted list keeps callers deterministic.
  std::sort(found.begin(), found.end());
  paths.insert(paths.end(), found.begin(), found.end());
  return true;
}

bool CDirUtil::SetCurrentDir(const std::string& dir) {
  return !dir.empty() && ::chdir(dir.c_str()) == 0;
}

}  // namespace tbx
