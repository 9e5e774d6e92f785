// valkoMt: the maintenance component. Counters with running totals, and the reports of
// registered IMtInfo sources sent periodically as one message through the transmit interface:
// every 60 s (scaled by TBX_TIME_SCALE), type "T_MSG_MT_INFO", priority 4, data
// {"owner":<owner name>,"info":{<name>:<decimal or text>,...}}; nothing is sent while there is
// nothing to report.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"
#include "valko/IMsgTransmitInterface.h"
#include "valko/IMtInfo.h"

class VALKOMT_API CMtIntf {
 public:
  static bool Init();
  // Starts the periodic report through `transmit`, which must outlive the process's use of it.
  // False before Init, with a null interface, or when the report already runs.
  static bool Start(IMsgTransmitInterface* transmit, const std::string& ownerName);
  // Adds a source asked for its counters at each report; it must outlive the process's use of
  // the maintenance component.
  static bool RegMtInfoCallback(IMtInfo* info);
  // Adds `amount` to the counter (sets it to `amount` when `accumulate` is false) and returns
  // its running total; `report` false keeps the counter out of the periodic report.
  static uint64_t AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                  bool accumulate);
};
