#include "SystemProcessUtil.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "StandinSupport.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"

namespace tbx {
namespace {

constexpr auto kTerminationWait = std::chrono::seconds(5);  // real time, not scaled
constexpr auto kTerminationPoll = std::chrono::milliseconds(5);

bool ValidPid(uint64_t processId) {
  return processId > 0 && processId <= static_cast<uint64_t>(INT_MAX);
}

// The executable's path, "" when the process vanished or its link is unreadable.
std::string ExecutableOf(uint64_t processId) {
  if (!ValidPid(processId)) {
    return std::string();
  }
  std::string link = "/proc/" + std::to_string(processId) + "/exe";
  std::string target(PATH_MAX, '\0');
  ssize_t length = ::readlink(link.c_str(), &target[0], target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
    return std::string();
  }
  target.resize(static_cast<size_t>(length));
  const std::string deleted = " (deleted)";
  if (CStringUtil::stringEndWith(target, deleted, false)) {
    target.resize(target.size() - deleted.size());
  }
  return target;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True once /proc/<pid> is gone or the process is a zombie waiting for its parent.
bool HasEnded(uint64_t processId) {
  std::string statPath = "/proc/" + std::to_string(processId) + "/stat";
  FILE* file = std::fopen(statPath.c_str(), "re");
  if (file == nullptr) {
    return true;
  }
  char buffer[512] = {};
  size_t length = std::fread(buffer, 1, sizeof(buffer) - 1, file);
  std::fclose(file);
  // "pid (comm) S ...": the command may hold ") ", so the state follows the last ')'.
  std::string text(buffer, length);
  size_t close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) {
    return false;
  }
  char state = text[close + 2];
  return state == 'Z' || state == 'X';
}

}  // namespace

uint64_t SystemProcessUtil::GetCurrentProcessId() {
  return static_cast<uint64_t>(::getpid());
}

std::vector<uint64_t> SystemProcessUtil::GetProcessIdsByName(const std::string& name,
                                                             uint32_t maxCount, uint32_t) {
  std::vector<uint64_t> ids;
  if (name.empty()) {
    return ids;
  }
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) {
    return ids;
  }
  while (struct dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    unsigned long long pid = std::strtoull(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || !ValidPid(pid)) {
      continue;
    }
    std::string path = ExecutableOf(pid);
    if (!path.empty() && FileNameOf(path) == name) {
      ids.push_back(pid);
    }
  }
  ::closedir(proc);
  std::sort(ids.begin(), ids.end());
  if (maxCount != 0 && ids.size() > maxCount) {
    ids.resize(maxCount);
  }
  return ids;
}

bool SystemProcessUtil::TerminateProcessById(uint64_t processId) {
  if (!ValidPid(processId)) {
    return false;
  }
  if (processId == GetCurrentProcessId()) {
    standin::FlushLog();
    ::kill(static_cast<pid_t>(processId), SIGKILL);
    ::_exit(1);  // not reached
  }
  if (::kill(static_cast<pid_t>(processId), SIGKILL) != 0) {
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + kTerminationWait;
  while (!HasEnded(processId)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kTerminationPoll);
  }
  return true;
}

std::string SystemProcessUtil::GetProcessName(uint64_t processId, uint32_t) {
  return FileNameOf(ExecutableOf(processId));
}

std::string SystemProcessUtil::GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t) {
  std::string path = ExecutableOf(processId);
  return fullPath != 0 ? path : CToolUtil::GetFileDirPath(path);
}

}  // namespace tbx
