// The state behind the static CMtIntf: counters with running totals, the registered sources and
// the thread that sends their report every 60 s (scaled by TBX_TIME_SCALE). Exported so that
// tests can use fresh instances.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Export.h"
#include "valko/IMsgTransmitInterface.h"
#include "valko/IMtInfo.h"

namespace valko::standin {

class VALKOMT_API CMtService {
 public:
  static constexpr uint32_t kReportPeriodMs = 60000;  // before TBX_TIME_SCALE
  static constexpr int32_t kReportPriority = 4;

  // The process-wide service.
  static CMtService& Instance();

  CMtService() = default;
  ~CMtService();  // stops the report thread

  bool Init();
  bool Start(IMsgTransmitInterface* transmit, const std::string& ownerName);
  void Stop();
  bool AddSource(IMtInfo* info);
  bool RemoveSource(IMtInfo* info);
  uint64_t AddCounter(const std::string& name, uint64_t amount, bool report, bool accumulate);

  // The report's data text, or "" when there is nothing to report. Asks every source.
  std::string BuildReport();

 private:
  CMtService(const CMtService&) = delete;
  CMtService& operator=(const CMtService&) = delete;

  struct Counter {
    uint64_t total = 0;
    bool reported = true;  // included in the periodic report
  };

  void ReportLoop();

  std::mutex mutex_;                           // guards every member below
  std::condition_variable wake_;               // Stop -> report thread
  std::condition_variable sourcesIdle_;        // report thread -> RemoveSource
  bool initialised_ = false;                   // Init succeeded
  bool stopRequested_ = false;                 // the report thread leaves its loop
  std::thread thread_;                         // the report thread while it may run
  std::thread::id threadId_;                   // its id, to recognise calls from a source
  IMsgTransmitInterface* transmit_ = nullptr;  // not owned; as given to Start
  std::string owner_;                          // as given to Start
  std::map<std::string, Counter> counters_;
  std::vector<IMtInfo*> sources_;  // not owned; in the order registered
  int askingSources_ = 0;          // rounds of BuildReport asking the sources now
};

}  // namespace valko::standin
