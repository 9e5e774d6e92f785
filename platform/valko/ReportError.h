// valkoError: reports to the agent's error service. Each report is one JSON object per line
// appended to <application dir>/report/reports.jsonl. Callers ignore the results.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

class VALKOERROR_API CReportError {
 public:
  enum _enErrNo { ERR_NO_NONE = 0 };
  enum _enKillSelf {
    KILL_SELF_CPU = 1,
    KILL_SELF_MEMORY = 2,
    KILL_SELF_THREAD_HANG = 3,
    KILL_SELF_MAX_FD = 5,
    KILL_SELF_HIGH_IO = 7,
  };

  static bool SendErrInfo(const std::string& text, _enErrNo code);
  static bool SendKillSelfInfo(const std::string& text, _enKillSelf reason);
  static bool SendKillSelfInfo(const std::string& text, _enKillSelf reason,
                               const std::string& programName, const std::string& version,
                               const std::string& stack);
  // Sends the last `bytes` bytes of the process log.
  static bool SendLastLog(uint32_t bytes);
  static bool SendCrashInfo(const std::string& information, const std::string& backTrace,
                            bool withMemoryMap);
  // Copies the dump into <application dir>/report/; the caller may delete it afterwards.
  static bool SendDumpFile(const std::string& path, std::string extra);
};
