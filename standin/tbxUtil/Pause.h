// Sleeping the calling thread for a time, as precisely as the system's timers allow: the send
// thread's pacing pauses last a few milliseconds, which a 15.6 ms timer tick would triple.
#pragma once

#include <cstdint>

namespace tbx {

class Pause {
 public:
  // Returns after at least `milliseconds` (at once for 0).
  static void For(uint64_t milliseconds);
};

}  // namespace tbx
