// The running process as the system knows it.
#pragma once

#include <cstdint>
#include <string>

namespace tbx {

class ProcessSelf {
 public:
  // The path of the running executable, "" when it cannot be read.
  static std::string ExecutablePath();
  // Ends the process at once with `status`: no exit handlers, no static destructors.
  [[noreturn]] static void ExitNow(int status);
  static uint64_t Id();
  // The error number of the last failed system call of this thread.
  static uint32_t LastErrorCode();
};

}  // namespace tbx
