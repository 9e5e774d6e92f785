#include "tbx/ToolUtil.h"

#include <errno.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "StandinSupport.h"
#include "TbxTestSeams.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"

namespace tbx {
namespace {

std::mutex g_dirMutex;
std::string g_dirOverride;  // guarded by g_dirMutex; "" while the real directory applies

// The path of the running executable; a replaced executable's link ends in " (deleted)".
std::string ExecutablePath() {
  static const std::string path = [] {
    std::vector<char> buffer(4096);
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
      return std::string();
    }
    std::string text(buffer.data(), static_cast<size_t>(length));
    const std::string deleted = " (deleted)";
    if (CStringUtil::stringEndWith(text, deleted, false)) {
      text.resize(text.size() - deleted.size());
    }
    return text;
  }();
  return path;
}

}  // namespace

std::string CToolUtil::GetApplicationDirPath() {
  {
    std::lock_guard<std::mutex> hold(g_dirMutex);
    if (!g_dirOverride.empty()) {
      return g_dirOverride;
    }
  }
  return GetFileDirPath(ExecutablePath());
}

std::string CToolUtil::GetApplicationFileName() {
  std::string path = ExecutablePath();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CToolUtil::GetFileDirPath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return std::string();
  }
  // The root itself yields "": callers append "/name" to the directory.
  size_t end = slash;
  while (end > 0 && path[end - 1] == '/') {
    --end;
  }
  return path.substr(0, end);
}

void CToolUtil::msleep(uint32_t milliseconds) {
  uint64_t scaled = standin::ScaleMilliseconds(milliseconds);
  if (scaled > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(scaled));
  }
}

void CToolUtil::sleep(uint32_t seconds) {
  uint64_t scaled = standin::ScaleMilliseconds(static_cast<uint64_t>(seconds) * 1000);
  if (scaled > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(scaled));
  }
}

void CToolUtil::Terminate() {
  standin::FlushLog();
  ::_exit(1);
}

bool CToolUtil::CreateRunFile() {
  std::string name = GetApplicationFileName();
  if (CStringUtil::stringEndWith(name, ".exe", true)) {
    name.resize(name.size() - 4);
  }
  if (name.empty()) {
    return false;
  }
  std::string path = GetApplicationDirPath() + "/" + name + ".run";
  return CFileUtil::WriteNewFile(path, std::to_string(::getpid()), false);
}

uint32_t CToolUtil::GetLastErrorCode() {
  return static_cast<uint32_t>(errno);
}

}  // namespace tbx

namespace tbx::testing {

void OverrideApplicationDir(const std::string& dir) {
  std::string trimmed = dir;
  while (trimmed.size() > 1 && trimmed.back() == '/') {
    trimmed.pop_back();
  }
  std::lock_guard<std::mutex> hold(g_dirMutex);
  g_dirOverride = trimmed;
}

}  // namespace tbx::testing
