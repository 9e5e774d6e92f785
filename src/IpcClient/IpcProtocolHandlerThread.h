// The receive side of the IPC client: a bounded queue of received message texts and the
// "Protocol" thread that takes them off one per cycle, extracts each message's type and data and
// hands the data to every handler registered for the type.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "IpcClient/IpcClientPlatform.h"
#include "tbx/MutexUtil.h"
#include "tbx/ThreadUtil.h"
#include "valko/IProtocolHandler.h"

class CIpcProtocolHandlerThread : public tbx::CThreadUtil {
 public:
  // Starts the "Protocol" thread, which runs until the destructor. Handlers registered here must
  // stay alive until they are unregistered. `platform` (its sleep, the drop counter and the
  // thread's liveness reports) must outlive this object.
  explicit CIpcProtocolHandlerThread(IIpcClientPlatform& platform);
  // Stops and joins the thread (within one cycle plus a dispatch in progress). Queued texts are
  // discarded; registered handlers are not touched.
  ~CIpcProtocolHandlerThread() override;

  // Queues one received message text, or drops and counts it when the queue is at the limit in
  // force at this call. Never waits for handling.
  void PushMessage(const std::string& text);

  // Adds (type, handler) after the type's existing entries; a pair already present is kept once.
  // False for an empty type or a null handler.
  bool RegisterProtocolHandler(const std::string& type, IProtocolHandler* handler);
  // Removes (type, handler); true also when it was not present. Once this returns the handler is
  // not running on another thread and is not called again. Safe to call from inside Handle.
  bool UnRegisterProtocolHandler(const std::string& type, IProtocolHandler* handler);
  // Calls every handler of `type` on the calling thread, in registration order, with the
  // registry lock held. True when at least one handler was called.
  bool DispatchProtocol(const std::string& type, const std::string& data);

  // The number of dispatches that took more than 300 s since the last call; resets it to 0.
  uint32_t TakeLongHandleCount();

  // Extracts the "type" (a string member, "" when absent or not a string) and the "data" member
  // of one message text: an object is re-serialised compactly, a string is unescaped. False for
  // a text that is not one JSON object, or whose "data" is missing or of another kind; `type`
  // then holds what was found.
  static bool Deserialize(const std::string& text, std::string& type, std::string& data);

  void run() override;

 private:
  // The wall clock difference, in seconds, beyond which a dispatch counts as long handling.
  static constexpr int64_t kLongHandleSeconds = 300;

  bool IsRegisteredLocked(const std::string& type, IProtocolHandler* handler) const;
  bool TakeNextText(std::string* text);
  void ReportLiveness(uint32_t threadId) const;

  IIpcClientPlatform& platform_;
  // Recursive so that a handler may register or unregister from inside Handle on the
  // dispatching thread, where the lock is already held.
  mutable std::recursive_mutex registryLock_;
  std::multimap<std::string, IProtocolHandler*> registry_;  // guarded by registryLock_
  tbx::CMutexUtil queueLock_;
  tbx::CMutexUtil counterLock_;
  std::list<std::string> queue_;            // received texts, oldest first; guarded by queueLock_
  const std::set<std::string> quietTypes_;  // types whose arrival is not logged
  uint32_t longHandleCount_ = 0;   // long dispatches not yet taken; guarded by counterLock_
  std::atomic<bool> stop_{false};  // set by the destructor, read by the thread each cycle
};
