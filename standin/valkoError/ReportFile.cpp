#include "ReportFile.h"

#include <mutex>

#include "tbx/FileUtil.h"
#include "tbx/ToolUtil.h"
#include "tbxUtil/Directories.h"

namespace valko::standin {
namespace {

std::mutex& ReportMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::string CReportFile::ReportDir() {
  std::string appDir = tbx::CToolUtil::GetApplicationDirPath();
  if (appDir.empty()) {
    return "";  // never a "/report" at the file system's root
  }
  std::string dir = appDir + "/report";
  return tbx::Directories::Make(dir) ? dir : "";
}

bool CReportFile::Append(const std::string& line) {
  std::lock_guard<std::mutex> hold(ReportMutex());
  std::string dir = ReportDir();
  if (dir.empty()) {
    return false;
  }
  // One appending write carries the whole record.
  return tbx::CFileUtil::WriteNewFile(dir + "/reports.jsonl", line, true);
}

}  // namespace valko::standin
