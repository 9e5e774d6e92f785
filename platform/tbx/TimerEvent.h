// tbxUtil: timers whose callbacks run on the thread inside CTimerLoop::exec.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

// The tag a timer is started with when it has no name.
constexpr uint64_t kNoTimerTag = 4294967295ULL;

class TBXUTIL_API CTimerEvent {
 public:
  CTimerEvent();
  // Kills every timer this object started: no callback reaches a destroyed object. Called on
  // another thread than the loop's, it waits for this object's callback in progress.
  virtual ~CTimerEvent();

  // Starts a repeating timer of `intervalMs` milliseconds (scaled by TBX_TIME_SCALE).
  // Returns its id, never 0 on success; 0 when the timer cannot be started. Callable from
  // any thread, including from inside a callback.
  uint64_t startTimer(uint32_t intervalMs, uint64_t tag = kNoTimerTag);
  // Stops the timer; false when it is not one of this object's running timers.
  bool killTimer(uint64_t timerId);

  // Called on the timer loop's thread each time one of this object's timers is due.
  virtual void OnTimer(uint64_t timerId) = 0;

  // A stable tag for a timer name.
  static uint64_t StringToMagicNum(const std::string& name);

 protected:
  // Kills every timer of this object and, unless called on the loop's thread, waits for its
  // callback in progress. A subclass whose OnTimer uses its own members and that may be
  // destroyed on another thread calls this first in its destructor: by the time the base
  // destructor runs, the subclass's members are gone.
  void killAllTimers();

 private:
  CTimerEvent(const CTimerEvent&) = delete;
  CTimerEvent& operator=(const CTimerEvent&) = delete;
};

class TBXUTIL_API CTimerLoop {
 public:
  // Runs due timer callbacks, in due order, on the calling thread until Quit is called; 0
  // then, -1 at once when another thread is already inside exec. In the monitor nothing
  // calls Quit, so it never returns while the process runs.
  static int exec();
  // Makes exec return after the callback in progress, or the next exec return at once when
  // none runs (tests and tools).
  static void Quit();
  // A description of the timer whose callback is running now ("" when none).
  static std::string GetCurrentTimerInfo();
};

}  // namespace tbx
