#include "tbx/ThreadUtil.h"

#include <time.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "AltSignalStack.h"
#include "ThreadIdentity.h"
#include "ThreadNameRegistry.h"

namespace tbx {

struct CThreadUtil::State {
  std::mutex mutex;    // guards the thread handle
  std::thread thread;  // joinable from start until joined
  // True from startThread until run() returned. Shared with the thread, which may outlive
  // this object when run() itself destroys it.
  std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(false);
};

CThreadUtil::CThreadUtil() : state_(new State) {}

CThreadUtil::~CThreadUtil() {
  waitForThreadFinish();
  delete state_;
}

bool CThreadUtil::startThread() {
  std::lock_guard<std::mutex> hold(state_->mutex);
  if (state_->running->load()) {
    return false;
  }
  if (state_->thread.joinable()) {
    state_->thread.join();  // a finished run that nobody joined yet
  }
  std::shared_ptr<std::atomic<bool>> running = state_->running;
  running->store(true);
  try {
    state_->thread = std::thread([this, running] {
      AltSignalStack::EnsureForThisThread();
      run();
      running->store(false);  // `this` may be gone from here on
    });
  } catch (const std::system_error&) {
    running->store(false);
    return false;
  }
  return true;
}

bool CThreadUtil::IsThreadRunning() const {
  return state_->running->load();
}

void CThreadUtil::waitForThreadFinish() {
  std::thread finishing;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    if (!state_->thread.joinable()) {
      return;
    }
    if (state_->thread.get_id() == std::this_thread::get_id()) {
      // Called from run() itself: joining would wait forever; let the thread end on its own.
      state_->thread.detach();
      return;
    }
    // Joined outside the lock, so run() may still use this object's other calls meanwhile.
    finishing = std::move(state_->thread);
  }
  finishing.join();
}

void CThreadUtil::SetThreadName(const std::string& name) {
  // The system may keep less; the registry keeps the whole name.
  ThreadIdentity::SetSystemName(name);
  ThreadNameRegistry::Set(static_cast<int64_t>(GetCurrentThreadId()), name);
}

std::string CThreadUtil::GetThreadName(int64_t threadId) {
  return ThreadNameRegistry::Get(threadId);
}

uint64_t CThreadUtil::GetCurrentThreadId() {
  return ThreadIdentity::CurrentId();
}

void CThreadUtil::InitThreadRandom() {
  struct timespec now = {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  unsigned seed = static_cast<unsigned>(now.tv_nsec) ^ static_cast<unsigned>(now.tv_sec) ^
                  static_cast<unsigned>(GetCurrentThreadId() << 16);
  std::srand(seed);
}

}  // namespace tbx
