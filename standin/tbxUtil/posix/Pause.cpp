#include "Pause.h"

#include <chrono>
#include <thread>

namespace tbx {

void Pause::For(uint64_t milliseconds) {
  if (milliseconds > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

}  // namespace tbx
