// The service work object: owns the resource-event handler and the directory check, and brings
// the whole monitor up in one fixed order.
#pragma once

#include "KorvexCommon/MonitorEvent.h"
#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"

class CKorvexMonitorServiceWork {
 public:
  // Builds the two members and nothing else. The object must outlive the timer loop: the
  // resource monitor calls back into the handler and the directory check's timer fires on it.
  CKorvexMonitorServiceWork();
  ~CKorvexMonitorServiceWork() = default;

  // Runs the start-up sequence on the calling (main) thread, once per process. Returns 0 when
  // every step has passed; a fatal failure records itself in "MonitorError.data" and ends the
  // process instead of returning.
  int OnStart();

 private:
  CKorvexMonitorServiceWork(const CKorvexMonitorServiceWork&) = delete;
  CKorvexMonitorServiceWork& operator=(const CKorvexMonitorServiceWork&) = delete;

  CMonitorEvent monitorEvent_;  // resource-event handler handed to the resource monitor
  CMonitorKorvexAndMonitorVersion versionMonitor_;  // agent/monitor directory check
};
