#include "tbx/TimerEvent.h"

#include "StandinSupport.h"
#include "TbxTestSeams.h"
#include "TimerQueue.h"

namespace tbx {

CTimerEvent::CTimerEvent() = default;

CTimerEvent::~CTimerEvent() {
  TimerQueue::Instance().KillAll(this);
}

uint64_t CTimerEvent::startTimer(uint32_t intervalMs, uint64_t tag) {
  if (standin::ShouldFail("CTimerEvent::startTimer")) {
    return 0;
  }
  return TimerQueue::Instance().Start(this, intervalMs, tag);
}

bool CTimerEvent::killTimer(uint64_t timerId) {
  return TimerQueue::Instance().Kill(this, timerId);
}

uint64_t CTimerEvent::StringToMagicNum(const std::string& name) {
  // 64-bit FNV-1a: stable across runs and builds.
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char byte : name) {
    hash ^= byte;
    hash *= 1099511628211ULL;
  }
  return hash;
}

int CTimerLoop::exec() {
  return TimerQueue::Instance().Exec();
}

std::string CTimerLoop::GetCurrentTimerInfo() {
  return TimerQueue::Instance().CurrentInfo();
}

}  // namespace tbx

namespace tbx::testing {

void QuitTimerLoop() {
  TimerQueue::Instance().Quit();
}

}  // namespace tbx::testing
