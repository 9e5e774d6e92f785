// tbxUtil: the running program's place, sleeping and ending the process.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

class TBXUTIL_API CToolUtil {
 public:
  // Directory of the running executable, without a final separator.
  static std::string GetApplicationDirPath();
  // File name of the running executable, such as "KorvexMonitor.exe".
  static std::string GetApplicationFileName();
  // Directory part of a path, without a final separator; "" when the path has none.
  static std::string GetFileDirPath(const std::string& path);

  // Sleeps, both scaled by TBX_TIME_SCALE.
  static void msleep(uint32_t milliseconds);
  static void sleep(uint32_t seconds);

  // Flushes the log and ends the process at once with exit status 1.
  [[noreturn]] static void Terminate();

  // Marks the program as running (a file in the application directory); true on success.
  static bool CreateRunFile();
  // The last system error code of the calling thread.
  static uint32_t GetLastErrorCode();
};

}  // namespace tbx
