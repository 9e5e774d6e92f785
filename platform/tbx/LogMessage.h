// tbxUtil: the process log. One rotating file in <application dir>/<log dir name>; every record
// carries time, level, thread name, source, line and text.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

enum TbxLogLevel {
  TBX_LOG_ERROR = 2,  // failures
  TBX_LOG_WARN = 3,   // warnings and retries
  TBX_LOG_INFO = 4,   // progress
};

class TBXUTIL_API CLogMessage {
 public:
  // Must be called before the first GetInstance; later calls have no effect on the open log.
  static void SetLogDirName(const std::string& dirName);
  // The logger, created on the first call; null when its directory or file cannot be made.
  static CLogMessage* GetInstance();

  // Size limit of one log file in bytes; the file rolls over when it would pass it.
  void SetLogFileSize(uint64_t bytes);

  // A printf-style record. Safe before GetInstance succeeded: the record is then dropped.
  // `source` is the caller's file path without extension, such as "IpcClient\\IpcClient".
  static void log(int level, const char* source, int line, const char* format, ...)
      KORVEX_PRINTF_FORMAT(4, 5);
  // A plain-text record without source and line.
  static void WriteLogMessage(const std::string& text, int level);

 private:
  CLogMessage() = default;
};

}  // namespace tbx
