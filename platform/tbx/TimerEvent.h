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
  // Stops the timer; false when it is not one of this object's running timers. Called on another
  // thread than the loop's, it also waits for the timer's callback in progress, so an object
  // that kills its timers first in its destructor sees no callback after that.
  bool killTimer(uint64_t timerId);

  // Called on the timer loop's thread each time one of this object's timers is due.
  virtual void OnTimer(uint64_t timerId) = 0;

  // A stable tag for a timer name.
  static uint64_t StringToMagicNum(const std::string& name);

 private:
  CTimerEvent(const CTimerEvent&) = delete;
  CTimerEvent& operator=(const CTimerEvent&) = delete;
};

class TBXUTIL_API CTimerLoop {
 public:
  // Runs due timer callbacks, in due order, on the calling thread; -1 at once when another
  // thread is already inside exec. It does not return while the process runs.
  static int exec();
  // A description of the timer whose callback is running now ("" when none).
  static std::string GetCurrentTimerInfo();
};

}  // namespace tbx
