// The process service over Toolhelp32: a process's name is the file name of its executable
// (QueryFullProcessImageNameW), so "KorvexMonitor.exe" and "Korvex.exe" are found by name.
// Processes this user may not open are invisible to it.
#pragma once

#include "tbx/ProcessUtil.h"

namespace tbx {

class ToolhelpProcessUtil : public IProcessUtil {
 public:
  ToolhelpProcessUtil() = default;

  uint64_t GetCurrentProcessId() override;
  std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                            uint32_t flags) override;
  // TerminateProcess, then waits (up to 5 s) until the process has ended. Naming the calling
  // process flushes the log and ends it.
  bool TerminateProcessById(uint64_t processId) override;
  std::string GetProcessName(uint64_t processId, uint32_t flags) override;
  // `fullPath` 1: the executable's path; 0: its directory.
  std::string GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t flags) override;

 private:
  ToolhelpProcessUtil(const ToolhelpProcessUtil&) = delete;
  ToolhelpProcessUtil& operator=(const ToolhelpProcessUtil&) = delete;
};

}  // namespace tbx
