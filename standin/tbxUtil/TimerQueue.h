// The process-wide timer schedule behind CTimerEvent and CTimerLoop.
//
// Callbacks run on the thread inside Exec, one at a time, earliest due first (ties: the timer
// started first). The lock is never held while a callback runs, so a callback may start and
// kill timers. Destruction rule: Kill and KillAll (the latter called by ~CTimerEvent) remove
// timers and, unless they run on the loop thread itself, wait for the callback of a removed timer
// that is in progress. As the base destructor runs after the derived part is gone, a subclass
// whose callback may run while it is destroyed from another thread kills its timers in its own
// destructor first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace tbx {

class CTimerEvent;

class TimerQueue {
 public:
  // The one schedule of the process; never destroyed, so timers may be killed at exit.
  static TimerQueue& Instance();

  // A repeating timer of `intervalMs` (scaled by the stand-in clock factor); its id, or 0 when
  // `owner` is null or `intervalMs` is 0.
  uint64_t Start(CTimerEvent* owner, uint32_t intervalMs, uint64_t tag);
  // False when `timerId` is not one of `owner`'s running timers. Off the loop thread it waits for
  // the timer's callback in progress.
  bool Kill(CTimerEvent* owner, uint64_t timerId);
  void KillAll(CTimerEvent* owner);

  // Runs callbacks until Quit; -1 at once when another thread is already inside Exec.
  int Exec();
  // Makes the running Exec return after the callback in progress, or the next Exec return at
  // once when none runs.
  void Quit();
  // The running timer ("" when none).
  std::string CurrentInfo();

 private:
  using Clock = std::chrono::steady_clock;

  struct Timer {
    CTimerEvent* owner;      // receives OnTimer
    uint64_t tag;            // as given to Start
    uint32_t intervalMs;     // as given to Start
    Clock::duration period;  // the scaled interval, at least 1 ms
    Clock::time_point due;   // next firing
  };

  TimerQueue() = default;
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  void Unschedule(std::map<uint64_t, Timer>::iterator timer);  // requires mutex_
  bool OnLoopThread() const;                                   // requires mutex_

  std::mutex mutex_;
  std::condition_variable changed_;   // a timer, the quit request or the loop changed
  std::map<uint64_t, Timer> timers_;  // running timers by id
  std::set<std::pair<Clock::time_point, uint64_t>> schedule_;  // (due, id) of every timer
  uint64_t nextId_ = 1;                  // ids are never reused; 0 means failure
  bool quitRequested_ = false;           // consumed by Exec
  bool looping_ = false;                 // a thread is inside Exec
  std::thread::id loopThread_;           // that thread, while looping_
  CTimerEvent* runningOwner_ = nullptr;  // owner of the callback in progress, or null
  uint64_t runningId_ = 0;               // its timer id
  uint64_t runningTag_ = 0;              // its tag
  uint32_t runningIntervalMs_ = 0;       // its unscaled interval
};

}  // namespace tbx
