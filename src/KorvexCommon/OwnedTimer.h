// One repeating timer of a tbx::CTimerEvent that stops when its owner goes.
#pragma once

#include <atomic>
#include <cstdint>

#include "tbx/TimerEvent.h"

// The timer base class kills its timers in its own destructor, which runs after the derived
// object's members are gone, while a callback may still be running on the loop's thread and using
// them. Declared as the last member of the derived class, a COwnedTimer is destroyed first: it
// stops the timer, and waits for a callback in progress, before any other member goes.
class COwnedTimer {
 public:
  // `events` is the object whose OnTimer the timer calls, the one this timer is a member of.
  explicit COwnedTimer(tbx::CTimerEvent& events) : events_(events) {}
  ~COwnedTimer() { Stop(); }

  // Starts the timer in place of the one this object ran before; false when it cannot be started,
  // and then none runs.
  bool Start(uint32_t intervalMs, uint64_t tag) {
    Stop();
    id_ = events_.startTimer(intervalMs, tag);
    return id_ != 0;
  }

  // Stops the timer, if one runs. Called on another thread than the loop's, it also waits for the
  // timer's callback in progress.
  void Stop() {
    const uint64_t id = id_.exchange(0);
    if (id != 0) {
      events_.killTimer(id);
    }
  }

  // The running timer's id, the one OnTimer receives for it; 0 while none runs.
  uint64_t Id() const { return id_; }

 private:
  COwnedTimer(const COwnedTimer&) = delete;
  COwnedTimer& operator=(const COwnedTimer&) = delete;

  tbx::CTimerEvent& events_;     // starts and kills the timer; owns this object
  std::atomic<uint64_t> id_{0};  // read by the loop's thread in OnTimer
};
