// The liveness reports of watched threads. A thread is hung when its last report is older than
// its timeout (scaled by TBX_TIME_SCALE); each hang is announced once, and a new report re-arms
// the thread. Not thread-safe: the monitor guards it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace valko::standin {

class CThreadHeartbeats {
 public:
  using Clock = std::chrono::steady_clock;

  CThreadHeartbeats() = default;

  // Records a report made at `now`; a timeout of 0 stops watching the thread.
  void Report(uint32_t threadId, const std::string& name, uint32_t timeoutSeconds,
              Clock::time_point now);
  // Descriptions of the threads that became hung since the last call, each naming the thread,
  // its id and the seconds since its last report.
  std::vector<std::string> TakeNewHangs(Clock::time_point now);
  // One line per watched thread: id, name, seconds since its last report, timeout.
  std::string Describe(Clock::time_point now, uint32_t& count) const;

 private:
  CThreadHeartbeats(const CThreadHeartbeats&) = delete;
  CThreadHeartbeats& operator=(const CThreadHeartbeats&) = delete;

  struct Entry {
    std::string name;
    uint32_t timeoutSeconds = 0;  // as given, before scaling
    Clock::time_point lastReport;
    bool announced = false;  // the current hang has been reported
  };
  std::map<uint32_t, Entry> threads_;  // thread id -> its last report
};

}  // namespace valko::standin
