#include "ReportFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "tbx/ToolUtil.h"

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
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    return "";
  }
  return dir;
}

bool CReportFile::Append(const std::string& line) {
  std::lock_guard<std::mutex> hold(ReportMutex());
  std::string dir = ReportDir();
  if (dir.empty()) {
    return false;
  }
  int fd = open((dir + "/reports.jsonl").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  // One write carries the whole record; the loop only finishes a write the kernel cut short.
  size_t written = 0;
  while (written < line.size()) {
    ssize_t result = write(fd, line.data() + written, line.size() - written);
    if (result < 0 && errno == EINTR) {
      continue;
    }
    if (result <= 0) {
      break;
    }
    written += static_cast<size_t>(result);
  }
  close(fd);
  return written == line.size();
}

}  // namespace valko::standin
