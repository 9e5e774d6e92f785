// The resource monitor's callbacks, called on its own sampling thread when a limit is passed.
#pragma once

#include <cstdint>
#include <string>

struct IoRecord {
  int32_t rio_max;     // configured read limit, KiB per second
  int32_t wio_max;     // configured write limit, KiB per second
  int32_t rio;         // measured reads, KiB per second
  int32_t wio;         // measured writes, KiB per second
  std::string detail;  // free text from the monitor; the handler does not read it
};

class IResourceMonitorEvent {
 public:
  virtual ~IResourceMonitorEvent() {}                               // slot 0
  virtual void OnCpuMax(int64_t cpuPercent, int64_t threadId) = 0;  // slot 1
  virtual void OnMemoryMax(int32_t memoryMb) = 0;                   // slot 2
  virtual void OnHighIO(IoRecord record) = 0;                       // slot 3
  virtual void OnMaxFd(int32_t handleCount) = 0;                    // slot 4
  virtual void OnThreadHang(const std::string& description) = 0;    // slot 5
  virtual void OnReservedEvent(int32_t) {}                          // slot 6
};
