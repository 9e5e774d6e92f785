// A per-thread alternate stack for fatal-signal handlers, so that a stack overflow can still
// be reported. Installed on the thread that installs the crash hook and on every CThreadUtil
// thread; other threads (those of third-party libraries) run the handler on their own stack.
#pragma once

namespace tbx {

class AltSignalStack {
 public:
  // Gives the calling thread an alternate signal stack unless it has one; the stack is
  // released when the thread ends. Safe to call repeatedly.
  static void EnsureForThisThread();
};

}  // namespace tbx
