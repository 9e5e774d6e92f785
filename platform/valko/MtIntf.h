// valkoMt: the maintenance component. Counters with running totals, and the reports of
// registered IMtInfo sources sent periodically as one message through the transmit interface.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"
#include "valko/IMsgTransmitInterface.h"
#include "valko/IMtInfo.h"

class KORVEX_EXPORT CMtIntf {
 public:
  static bool Init();
  // Starts the periodic report through `transmit`, which must outlive the process's use of it.
  static bool Start(IMsgTransmitInterface* transmit, const std::string& ownerName);
  static bool RegMtInfoCallback(IMtInfo* info);
  // Adds `amount` to the counter and returns its running total.
  static uint64_t AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                  bool accumulate);
};
