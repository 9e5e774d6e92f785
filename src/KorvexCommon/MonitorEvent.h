// The monitor's reactions to the resource monitor's findings: over-use of CPU, memory, disk I/O
// or handles, and hung threads.
#pragma once

#include <cstdint>
#include <string>

#include "valko/IResourceMonitorEvent.h"

// Writes the description of the timer whose callback is running now to the log (level 4).
void LogCurrentTimerInfo();

// Reports each event to the agent's error service and, except for high disk I/O, ends the
// process; optionally records it in the error-record file and takes a dump first. High disk
// I/O is handled at most once per four hours and, for the owner "korvex", becomes an IPC
// message instead of a report. The callbacks run on the resource monitor's thread, one at a
// time; the object must outlive the resource monitor.
class CMonitorEvent : public IResourceMonitorEvent {
 public:
  // `ownerName` names the owning program ("korvexmonitor" in this monitor). Error records
  // start switched off, with the file "DefaultError.data".
  explicit CMonitorEvent(const std::string& ownerName);
  ~CMonitorEvent() override;

  void SetWriteErrorRecord(bool enable);
  void SetErrorRecordFile(std::string fileName);

  void OnCpuMax(int64_t cpuPercent, int64_t threadId) override;
  void OnMemoryMax(int32_t memoryMb) override;
  void OnHighIO(IoRecord record) override;
  void OnMaxFd(int32_t handleCount) override;
  void OnThreadHang(const std::string& description) override;

 private:
  CMonitorEvent(const CMonitorEvent&) = delete;
  CMonitorEvent& operator=(const CMonitorEvent&) = delete;

  friend class CMonitorEventTestPeer;

  void SendHighIoMessage(const IoRecord& record);

  uint32_t fdDumpCount;         // dumps taken by OnMaxFd in the current window
  uint32_t fdWindowStart;       // start of the OnMaxFd dump window, seconds since 1970; 0: none
  uint32_t lastHighIoTime;      // when OnHighIO was last handled, seconds since 1970; 0: never
  bool writeErrorRecord;        // whether events write an error record
  std::string errorRecordFile;  // error-record file name in the application directory
  std::string ownerName;        // name of the owning program
};
