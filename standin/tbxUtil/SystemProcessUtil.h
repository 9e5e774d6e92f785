// The process service of this system. On POSIX it reads /proc: a process's name is the file name
// of the executable its /proc/<pid>/exe link points to (a replaced executable's " (deleted)"
// mark removed). On Windows it walks a Toolhelp32 snapshot and names a process by the file name
// of its image's canonical path (windows/CanonicalPath.h), which is also the path it reports,
// so one executable has one spelling however it was started. Either way "KorvexMonitor.exe" and
// "Korvex.exe" are found by name, and processes this user may not inspect are invisible to it.
#pragma once

#include "tbx/ProcessUtil.h"

namespace tbx {

class SystemProcessUtil : public IProcessUtil {
 public:
  SystemProcessUtil() = default;

  uint64_t GetCurrentProcessId() override;
  std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                            uint32_t flags) override;
  // Ends the process (SIGKILL, or TerminateProcess) and waits up to 5 s until it is gone.
  // Naming the calling process flushes the log and ends it.
  bool TerminateProcessById(uint64_t processId) override;
  std::string GetProcessName(uint64_t processId, uint32_t flags) override;
  // `fullPath` 1: the executable's path; 0: its directory.
  std::string GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t flags) override;

 private:
  SystemProcessUtil(const SystemProcessUtil&) = delete;
  SystemProcessUtil& operator=(const SystemProcessUtil&) = delete;
};

}  // namespace tbx
