// Keeps the process connected to the main agent and carries out the agent's "unload" command.
// The "ipc_monitor" thread looks at the IPC client every 10 seconds and asks it to reconnect
// while the connection is down; 30 attempts in a row that find it still down end the process.
// A 60 s timer unloads the agent modules when the stop/unload handler, which this object
// creates and registers for "T_MSG_CHECK", has an unload request waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "IpcClient/CmdStopProtocolHandler.h"
#include "KorvexCommon/OwnedTimer.h"
#include "Singleton.h"
#include "tbx/ThreadUtil.h"
#include "tbx/TimerEvent.h"
#include "valko/IMsgTransmitInterface.h"

class CIpcClientMonitor : public CSingleton<CIpcClientMonitor>,
                          public tbx::CThreadUtil,
                          public tbx::CTimerEvent {
 public:
  static constexpr uint32_t kFirstCheckDelaySeconds = 60;
  static constexpr uint32_t kCheckIntervalMilliseconds = 10000;
  static constexpr int32_t kMaxRetries = 30;  // a failing check at this count ends the process
  static constexpr uint32_t kUnloadIntervalMilliseconds = 60000;
  static constexpr const char* kCommandType = "T_MSG_CHECK";

  // Only for tear-down outside the monitor process, which never deletes it: ends the thread
  // (after its current sleep), unregisters the handler, stops the timer and deletes the handler.
  ~CIpcClientMonitor() override;

  // Creates the stop/unload handler, starts the unload timer unless it runs, registers the
  // handler for "T_MSG_CHECK" on GetMsgTransmitInstance() and starts the thread unless it runs.
  // True when the handler is registered and the thread runs. Calling it again after a failure
  // reuses the handler and the timer.
  bool Start();

  // The "ipc_monitor" thread: the first check 60 s after the start, then one every 10 s.
  void run() override;

  // On the timer loop's thread: for this object's timer, a waiting unload request is consumed
  // and the module manager, if there is one, unloads the modules.
  void OnTimer(uint64_t timerId) override;

 private:
  friend class CSingleton<CIpcClientMonitor>;

  // Nothing runs until Start.
  CIpcClientMonitor();
  CIpcClientMonitor(const CIpcClientMonitor&) = delete;
  CIpcClientMonitor& operator=(const CIpcClientMonitor&) = delete;

  // One look at the client: a reconnection attempt while it is down, or the count reset.
  void CheckConnection();

  std::atomic<bool> running_;  // set by Start before the thread starts; the thread loops on it
  int32_t retryCount_;         // attempts since the connection was last seen up; "ipc_monitor" only
  std::unique_ptr<CCmdStopProtocolHandler> stopHandler_;  // null until Start created it
  IMsgTransmitInterface* handlerRegisteredWith_;  // where stopHandler_ is registered, or null
  // Last, so the timer stops, and a tick in progress ends, before the handler it reads goes.
  COwnedTimer unloadTimer_;
};

extern template class CSingleton<CIpcClientMonitor>;
