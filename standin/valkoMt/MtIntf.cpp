#include "valko/MtIntf.h"

#include "MtService.h"

using valko::standin::CMtService;

bool CMtIntf::Init() {
  return CMtService::Instance().Init();
}

bool CMtIntf::Start(IMsgTransmitInterface* transmit, const std::string& ownerName) {
  return CMtService::Instance().Start(transmit, ownerName);
}

bool CMtIntf::RegMtInfoCallback(IMtInfo* info) {
  return CMtService::Instance().AddSource(info);
}

uint64_t CMtIntf::AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                  bool accumulate) {
  return CMtService::Instance().AddCounter(counterName, amount, report, accumulate);
}
