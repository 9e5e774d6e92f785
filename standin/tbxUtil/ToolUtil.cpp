#include "tbx/ToolUtil.h"

#include <mutex>

#include "PathText.h"
#include "Pause.h"
#include "ProcessSelf.h"
#include "StandinSupport.h"
#include "TbxTestSeams.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"

namespace tbx {
namespace {

std::mutex g_dirMutex;
std::string g_dirOverride;  // guarded by g_dirMutex; "" while the real directory applies

// Read once: the executable does not move while the process runs.
const std::string& ExecutablePath() {
  static const std::string path = ProcessSelf::ExecutablePath();
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
  return PathText::FileNameOf(ExecutablePath());
}

std::string CToolUtil::GetFileDirPath(const std::string& path) {
  // The root itself yields "": callers append "/name" to the directory.
  return PathText::DirectoryOf(path);
}

void CToolUtil::msleep(uint32_t milliseconds) {
  Pause::For(standin::ScaleMilliseconds(milliseconds));
}

void CToolUtil::sleep(uint32_t seconds) {
  Pause::For(standin::ScaleMilliseconds(static_cast<uint64_t>(seconds) * 1000));
}

void CToolUtil::Terminate() {
  standin::FlushLog();
  ProcessSelf::ExitNow(1);
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
  return CFileUtil::WriteNewFile(path, std::to_string(ProcessSelf::Id()), false);
}

uint32_t CToolUtil::GetLastErrorCode() {
  return ProcessSelf::LastErrorCode();
}

}  // namespace tbx

namespace tbx::testing {

void OverrideApplicationDir(const std::string& dir) {
  std::string trimmed = PathText::WithoutFinalSeparators(dir);
  std::lock_guard<std::mutex> hold(g_dirMutex);
  g_dirOverride = trimmed;
}

}  // namespace tbx::testing
