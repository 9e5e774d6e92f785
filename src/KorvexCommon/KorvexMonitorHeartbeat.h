// The monitor's heartbeat to the main agent: one "T_MSG_KORVEXMONITOR_IPC_HEART" message as soon
// as the object exists, then one every 120 seconds from the timer loop, for the life of the
// process. The agent reads it as the sign that this process is alive.
#pragma once

#include <cstdint>
#include <string>

#include "KorvexCommon/OwnedTimer.h"
#include "Singleton.h"
#include "tbx/TimerEvent.h"

class CKorvexMonitorHeartbeat : public CSingleton<CKorvexMonitorHeartbeat>,
                                public tbx::CTimerEvent {
 public:
  static constexpr uint32_t kIntervalMilliseconds = 120000;
  static constexpr const char* kMessageType = "T_MSG_KORVEXMONITOR_IPC_HEART";
  static constexpr int32_t kPriority = 1;

  // The timer is stopped, and a callback in progress on another thread waited for.
  ~CKorvexMonitorHeartbeat() override = default;

  // Sends a heartbeat when `timerId` is this object's timer; other ids are ignored.
  void OnTimer(uint64_t timerId) override;

  // Builds one heartbeat and queues it on the process's message transmit interface. False when
  // there is no interface yet (nothing is built) or the interface refused the message; neither
  // is retried, the next tick sends a fresh one.
  bool SendHeartbeat();

  // The message data: JsonCpp's styled text of "plugin_name", "proc_name", "state" and "ts"
  // (`seconds` since 1970 as a JSON integer), members in key order, with a final line break.
  static std::string BuildHeartbeatText(const std::string& procName, int64_t seconds);

 private:
  friend class CSingleton<CKorvexMonitorHeartbeat>;

  // Starts the 120 s timer and queues the first heartbeat at once, connected or not. Must be
  // created after the message transmit proxy, on the thread that later runs the timer loop or
  // before that loop starts.
  CKorvexMonitorHeartbeat();

  COwnedTimer timer_;  // the heartbeat timer; none runs when it could not be started
};

extern template class CSingleton<CKorvexMonitorHeartbeat>;
