// valkoMonitor: the resource monitor. A sampling thread reads the process's CPU, memory, I/O
// and handle figures and calls IResourceMonitorEvent when a configured limit is passed; threads
// report heartbeats and are declared hung when one runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "Export.h"
#include "Singleton.h"
#include "valko/IMonitorInfo.h"
#include "valko/IResourceMonitorEvent.h"

class CMonitor;
// The home of CSingleton<CMonitor> is this library (Singleton.h).
extern template class VALKOMONITOR_API CSingleton<CMonitor>;

class VALKOMONITOR_API CMonitor : public CSingleton<CMonitor> {
 public:
  ~CMonitor() override;  // stops the sampling thread

  // The limits file (key = value lines); read when monitoring starts.
  bool SetConfigPath(const std::string& path);
  // Starts the sampling thread; `events` must outlive the monitor. False when the thread
  // cannot be started or monitoring already runs.
  bool StartMonitor(IResourceMonitorEvent* events, const std::string& ownerName);
  // Adds a statistics source whose line is logged each sample period; it must outlive the
  // monitor.
  bool AddMonitorPoint(IMonitorInfo* info);
  // A thread's liveness report: it is declared hung when no report follows within
  // `timeoutSeconds` (scaled by TBX_TIME_SCALE).
  bool SetThreadHeartbeat(uint32_t threadId, const std::string& name, uint32_t timeoutSeconds);
  // One line per reporting thread (id, name, seconds since its last report); `count` gets the
  // number of threads.
  bool GetThreadsInfo(std::string& info, uint32_t& count);

 private:
  friend class CSingleton<CMonitor>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CMonitor::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CMonitor();
};
