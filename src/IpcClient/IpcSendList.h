// The outgoing send list: one FIFO per priority, each bounded by the configured queue limit,
// and a counting semaphore that wakes the single consumer, the send thread.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <list>

#include "IpcClient/IpcMessage.h"
#include "tbx/MutexUtil.h"

class CIpcSendList {
 public:
  static constexpr int32_t kPriorityCount = 5;  // priorities 0..4, 0 served first

  // The lists start empty and without a semaphore. Messages pushed before InitSemaphore are
  // kept and counted when it runs.
  CIpcSendList();
  // Discards the queued messages; destroys the semaphore if DestroySemaphore has not.
  ~CIpcSendList();

  // Attaches the threads library, then creates the semaphore with one count per message
  // already queued. True when the semaphore exists afterwards (a second call changes nothing).
  bool InitSemaphore();
  // Destroys the semaphore once no push is posting it. The consumer must have ended. Later
  // pushes are kept in the lists but not counted, until InitSemaphore runs again.
  bool DestroySemaphore();

  // Appends a copy of `message` to the list of `priority` and counts it. Refused when the
  // priority is outside 0..4 or the list already holds more than the configured limit, so a
  // list reaches limit + 1 messages. The limit is asked for on every push.
  bool Push(const IpcMessage& message, int32_t priority);
  // Blocks until a message or a wake-up is counted, then moves the oldest message of the most
  // urgent non-empty list into `out`. False, with `out` untouched, when there is no semaphore
  // or the count was a wake-up with all lists empty. The send thread is the only caller.
  bool Pop(IpcMessage& out);
  // Counts once without a message, so a consumer blocked in Pop returns false; the tear-down
  // uses it to end the send thread. False when there is no semaphore.
  bool WakeConsumer();

  // The messages in all five lists.
  uint32_t Count();

 private:
  CIpcSendList(const CIpcSendList&) = delete;
  CIpcSendList& operator=(const CIpcSendList&) = delete;

  // With lock_ held: true when the semaphore exists, and then it stays alive until the
  // matching Post has run.
  bool ClaimPostLocked();
  // Posts the semaphore claimed by ClaimPostLocked; ends the process when posting fails.
  void Post();

  sem_t semaphore_;       // messages and wake-ups pushed and not yet taken; valid while ready
  tbx::CMutexUtil lock_;  // guards lists_ and changes of semaphoreReady_
  std::list<IpcMessage> lists_[kPriorityCount];  // head = oldest
  std::atomic<bool> semaphoreReady_{false};      // semaphore_ initialised and not destroyed
  std::atomic<int32_t> postsInFlight_{0};        // posts between the lock and sem_post
};
