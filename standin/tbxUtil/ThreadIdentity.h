// The calling thread as the system knows it: its id and the name debuggers and tools show.
#pragma once

#include <cstdint>
#include <string>

namespace tbx {

class ThreadIdentity {
 public:
  // The system's id of the calling thread (not cached: a forked child's thread has a new one).
  static uint64_t CurrentId();
  // Names the calling thread for the system, shortened where the system keeps less.
  static void SetSystemName(const std::string& name);
};

}  // namespace tbx
