// The text dump written on a crash or on request: signal, fault address, back trace of the
// writing thread and a copy of the memory map. Written with async-signal-safe calls only, so
// a fatal-signal handler may use it.
#pragma once

#include <signal.h>

#include <cstdint>

namespace tbx {

class CrashDump {
 public:
  // Warms up the back-trace machinery, whose first use may allocate; call outside a handler.
  static void Prepare();
  // Writes the dump to `path` (replacing it). `signal` 0 and `info` null describe a dump on
  // request. 0 on success, else an errno value (EINVAL for a null or empty path).
  static int Write(const char* path, int signal, const siginfo_t* info, int64_t code);
};

}  // namespace tbx
