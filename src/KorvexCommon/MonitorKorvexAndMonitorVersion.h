// The agent/monitor directory check: the main agent and the monitor must run from one
// installation directory under the agent root.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "KorvexCommon/OwnedTimer.h"
#include "tbx/TimerEvent.h"

// Every 30 minutes, on the timer loop's thread, collects the directories of the running agent
// and monitor processes under the agent root. When the agent runs from more than one
// directory, the monitor runs from more than one, or the single agent and the single monitor
// run from different directories, the finding is reported to the agent's error service and
// every running monitor process is terminated, the calling process last.
class CMonitorKorvexAndMonitorVersion : public tbx::CTimerEvent {
 public:
  // No timer runs until Start.
  CMonitorKorvexAndMonitorVersion();
  // The timer stops before the members go: a callback may be running on the loop's thread.
  ~CMonitorKorvexAndMonitorVersion() override = default;

  // Starts the 30-minute timer; for the owner "korvexmonitor" also checks once before it
  // returns. False when the timer cannot be started (nothing is checked then). Call once, on
  // the thread of the timer loop.
  bool Start(const std::string& ownerName);

  // Runs the check when `timerId` is this object's timer; ignores any other id.
  void OnTimer(uint64_t timerId) override;

  // The running timer's id; 0 before a successful Start.
  uint64_t GetTimerId() const { return timer_.Id(); }

 private:
  CMonitorKorvexAndMonitorVersion(const CMonitorKorvexAndMonitorVersion&) = delete;
  CMonitorKorvexAndMonitorVersion& operator=(const CMonitorKorvexAndMonitorVersion&) = delete;

  void CheckAgentDirs();
  // The directories of the running processes named `executableName` that lie under the
  // agent root; equal texts collapse, letter case counts.
  std::set<std::string> CollectProcessDirs(const std::string& executableName);
  std::vector<uint64_t> ListProcessIds(const std::string& executableName);
  // True when every listed monitor process was terminated (or there was none).
  bool KillMonitorProcesses();

  COwnedTimer timer_;  // the check timer; runs from a successful Start on
};
