#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "valko/ValkoCommon.h"

namespace tbx {
namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The one-letter scheduler state from /proc/self/task/<tid>/stat; the name before it is in
// parentheses and may itself hold blanks and parentheses, so the state follows the last ")".
std::string ThreadState(const std::string& taskDir) {
  std::string stat = FirstLine(taskDir + "/stat");
  size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) {
    return "?";
  }
  return stat.substr(close + 2, 1);
}

std::vector<long> ThreadIds() {
  std::vector<long> ids;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) {
    return ids;
  }
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long id = std::strtol(entry->d_name, &end, 10);
    if (end != entry->d_name && *end == '\0' && id > 0) {
      ids.push_back(id);
    }
  }
  closedir(dir);
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::string CValkoStack::GetValkoStack(int64_t processId) {
  // Only the own process can be inspected from inside; another process has no stack text here.
  if (processId != static_cast<int64_t>(getpid())) {
    return "";
  }
  std::ostringstream text;
  for (long id : ThreadIds()) {
    std::string taskDir = "/proc/self/task/" + std::to_string(id);
    std::string wchan = FirstLine(taskDir + "/wchan");
    text << "thread " << id << " name=" << FirstLine(taskDir + "/comm")
         << " state=" << ThreadState(taskDir) << " wchan=" << (wchan.empty() ? "-" : wchan) << "\n";
  }
  return text.str();
}

}  // namespace tbx
