// The process service over /proc: a process's name is the file name of the executable its
// /proc/<pid>/exe link points to (a replaced executable's " (deleted)" mark removed).
// Processes whose link this user may not read are invisible to it.
#pragma once

#include "tbx/ProcessUtil.h"

namespace tbx {

class ProcFsProcessUtil : public IProcessUtil {
 public:
  ProcFsProcessUtil() = default;

  uint64_t GetCurrentProcessId() override;
  std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                            uint32_t flags) override;
  // Sends SIGKILL and waits (up to 5 s) until the process is gone or a zombie. Naming the
  // calling process flushes the log and ends it.
  bool TerminateProcessById(uint64_t processId) override;
  std::string GetProcessName(uint64_t processId, uint32_t flags) override;
  // `fullPath` 1: the executable's path; 0: its directory.
  std::string GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t flags) override;

 private:
  ProcFsProcessUtil(const ProcFsProcessUtil&) = delete;
  ProcFsProcessUtil& operator=(const ProcFsProcessUtil&) = delete;
};

}  // namespace tbx
