#include "IpcClient/IpcSendList.h"

#include <cerrno>
#include <thread>
#include <utility>

#include "IpcClient/QueueLimit.h"
#include "tbx/ToolUtil.h"
#include "valko/ReportError.h"
#include "win32/PthreadAttach.h"

namespace {

// Reports a semaphore failure to the agent and ends the process; the send list cannot keep its
// count in step with its messages after one.
[[noreturn]] void ExitOnSemaphoreFailure(const char* text) {
  CReportError::SendErrInfo(text, CReportError::ERR_NO_NONE);
  tbx::CToolUtil::Terminate();
}

}  // namespace

CIpcSendList::CIpcSendList() = default;

CIpcSendList::~CIpcSendList() {
  if (semaphoreReady_.load()) {
    DestroySemaphore();
  }
}

bool CIpcSendList::InitSemaphore() {
  pthread_win32_process_attach_np();
  pthread_win32_thread_attach_np();

  tbx::CMutexLockUtil hold(lock_);
  if (semaphoreReady_.load()) {
    return true;
  }
  // Pushes so far were kept without a count; under the lock none can slip between this sum
  // and the flag, so every queued message is counted exactly once.
  unsigned int queued = 0;
  for (const std::list<IpcMessage>& list : lists_) {
    queued += static_cast<unsigned int>(list.size());
  }
  if (sem_init(&semaphore_, 0, queued) != 0) {
    return false;
  }
  semaphoreReady_.store(true);
  return true;
}

bool CIpcSendList::DestroySemaphore() {
  {
    tbx::CMutexLockUtil hold(lock_);
    if (!semaphoreReady_.load()) {
      return false;
    }
    semaphoreReady_.store(false);
  }
  // A push that found the semaphore ready may still be about to post it; each such post is
  // one system call away from done.
  while (postsInFlight_.load() != 0) {
    std::this_thread::yield();
  }
  return sem_destroy(&semaphore_) == 0;
}

bool CIpcSendList::Push(const IpcMessage& message, int32_t priority) {
  const int64_t limit = QueueLimitInForce();
  if (priority < 0 || priority >= kPriorityCount) {
    return false;
  }
  // The copy is made before the lock is taken; under it the node only changes lists.
  std::list<IpcMessage> node;
  node.push_back(message);
  bool counted;
  {
    tbx::CMutexLockUtil hold(lock_);
    std::list<IpcMessage>& list = lists_[priority];
    if (limit < 0 || list.size() > static_cast<uint64_t>(limit)) {
      return false;
    }
    list.splice(list.end(), node);
    counted = ClaimPostLocked();
  }
  if (counted) {
    Post();
  }
  return true;
}

bool CIpcSendList::Pop(IpcMessage& out) {
  if (!semaphoreReady_.load()) {
    return false;
  }
  while (sem_wait(&semaphore_) != 0) {
    if (errno != EINTR) {  // a signal during the wait is no failure: wait again
      ExitOnSemaphoreFailure("wait semaphore fail, exit");
    }
  }
  std::list<IpcMessage> node;
  {
    tbx::CMutexLockUtil hold(lock_);
    for (std::list<IpcMessage>& list : lists_) {
      if (!list.empty()) {
        node.splice(node.end(), list, list.begin());
        break;
      }
    }
  }
  if (node.empty()) {
    return false;
  }
  out = std::move(node.front());
  return true;
}

bool CIpcSendList::WakeConsumer() {
  bool counted;
  {
    tbx::CMutexLockUtil hold(lock_);
    counted = ClaimPostLocked();
  }
  if (counted) {
    Post();
  }
  return counted;
}

uint32_t CIpcSendList::Count() {
  tbx::CMutexLockUtil hold(lock_);
  size_t total = 0;
  for (const std::list<IpcMessage>& list : lists_) {
    total += list.size();
  }
  return static_cast<uint32_t>(total);
}

bool CIpcSendList::ClaimPostLocked() {
  if (!semaphoreReady_.load()) {
    return false;
  }
  postsInFlight_.fetch_add(1);
  return true;
}

void CIpcSendList::Post() {
  const int result = sem_post(&semaphore_);
  postsInFlight_.fetch_sub(1);
  if (result != 0) {
    ExitOnSemaphoreFailure("post semaphore fail, exit");
  }
}
