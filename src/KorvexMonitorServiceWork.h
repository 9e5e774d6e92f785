// The service work object: owns the resource-event handler and the directory check, and brings
// the whole monitor up in one fixed order.
#pragma once

#include <cstdint>
#include <string>

#include "KorvexCommon/MonitorEvent.h"
#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"

class CConfig;
class CModuleManager;
class CMonitor;

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

  // The groups of OnStart's steps, in the order OnStart runs them. A fatal failure in any of
  // them records itself and ends the process.
  static void OpenRecordsAndLog();
  static void TuneProcess();
  static CConfig* StartMaintenanceAndConfiguration();
  static void StartAgentCommon(const std::string& appDir);
  static CMonitor* StartTransmitPath();
  void StartResourceWatch(CMonitor* monitor, const std::string& appDir);
  static void AnnounceStart(CConfig* config, const std::string& pidFile, uint64_t processId);
  static void StartFileComponents();
  CModuleManager* PrepareForModules();
  static void LoadModules(CModuleManager* modules, const std::string& appDir);
  static void ConnectToAgent();
  static void FinishStart();

  CMonitorEvent monitorEvent_;  // resource-event handler handed to the resource monitor
  CMonitorKorvexAndMonitorVersion versionMonitor_;  // agent/monitor directory check
};
