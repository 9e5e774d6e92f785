// A limit on the crash handling: once a crash is being handled, the process ends within
// kLimitMs whatever the handling waits for (a dump that does not finish, a lock that a frozen
// thread holds, a reporter that blocks). A thread started with the crash hook waits for the
// start signal, so nothing has to be created while the process is in a state where a new
// thread might never run.
#pragma once

#include <windows.h>

namespace tbx::windows {

class CrashDeadline {
 public:
  static constexpr DWORD kLimitMs = 30000;

  // Starts the waiting thread once per process; later calls do nothing.
  static void Prepare();
  // Starts the clock: kLimitMs from now the process ends with `exitCode`. Only the first call
  // counts.
  static void Start(DWORD exitCode);
};

}  // namespace tbx::windows
