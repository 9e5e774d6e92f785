#include "TimerQueue.h"

#include "StandinSupport.h"
#include "tbx/StringUtil.h"
#include "tbx/TimerEvent.h"

namespace tbx {

TimerQueue& TimerQueue::Instance() {
  static TimerQueue* queue = new TimerQueue;
  return *queue;
}

uint64_t TimerQueue::Start(CTimerEvent* owner, uint32_t intervalMs, uint64_t tag) {
  if (owner == nullptr || intervalMs == 0) {
    return 0;
  }
  Clock::duration period = std::chrono::milliseconds(standin::ScaleMilliseconds(intervalMs));
  std::lock_guard<std::mutex> hold(mutex_);
  uint64_t id = nextId_++;
  Timer timer{owner, tag, intervalMs, period, Clock::now() + period};
  timers_.emplace(id, timer);
  schedule_.emplace(timer.due, id);
  changed_.notify_all();
  return id;
}

void TimerQueue::Unschedule(std::map<uint64_t, Timer>::iterator timer) {
  schedule_.erase({timer->second.due, timer->first});
  timers_.erase(timer);
}

bool TimerQueue::Kill(CTimerEvent* owner, uint64_t timerId) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto timer = timers_.find(timerId);
  if (timer == timers_.end() || timer->second.owner != owner) {
    return false;
  }
  Unschedule(timer);
  changed_.notify_all();
  if (!OnLoopThread()) {
    changed_.wait(lock, [&] { return runningId_ != timerId; });
  }
  return true;
}

bool TimerQueue::OnLoopThread() const {
  // There the running callback is the caller's own frame: waiting for it would never end.
  return looping_ && loopThread_ == std::this_thread::get_id();
}

void TimerQueue::KillAll(CTimerEvent* owner) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (auto timer = timers_.begin(); timer != timers_.end();) {
    auto next = std::next(timer);
    if (timer->second.owner == owner) {
      Unschedule(timer);
    }
    timer = next;
  }
  changed_.notify_all();
  if (!OnLoopThread()) {
    changed_.wait(lock, [&] { return runningOwner_ != owner; });
  }
}

int TimerQueue::Exec() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (looping_) {
    return -1;
  }
  looping_ = true;
  loopThread_ = std::this_thread::get_id();
  while (!quitRequested_) {
    if (schedule_.empty()) {
      changed_.wait(lock);
      continue;
    }
    auto [due, id] = *schedule_.begin();
    Clock::time_point now = Clock::now();
    if (due > now) {
      changed_.wait_until(lock, due);
      continue;
    }
    schedule_.erase(schedule_.begin());
    Timer& timer = timers_.at(id);
    // A loop that fell behind by whole periods fires once, not once per missed period.
    timer.due += timer.period;
    if (timer.due <= now) {
      timer.due = now + timer.period;
    }
    schedule_.emplace(timer.due, id);
    runningOwner_ = timer.owner;
    runningId_ = id;
    runningTag_ = timer.tag;
    runningIntervalMs_ = timer.intervalMs;
    CTimerEvent* owner = timer.owner;
    lock.unlock();
    owner->OnTimer(id);
    lock.lock();
    runningOwner_ = nullptr;
    runningId_ = 0;
    changed_.notify_all();
  }
  quitRequested_ = false;
  looping_ = false;
  loopThread_ = std::thread::id();
  return 0;
}

void TimerQueue::Quit() {
  std::lock_guard<std::mutex> hold(mutex_);
  quitRequested_ = true;
  changed_.notify_all();
}

std::string TimerQueue::CurrentInfo() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (runningId_ == 0) {
    return std::string();
  }
  return CStringUtil::strprintf("timer id %llu, tag %llu, interval %u ms",
                                static_cast<unsigned long long>(runningId_),
                                static_cast<unsigned long long>(runningTag_), runningIntervalMs_);
}

}  // namespace tbx
