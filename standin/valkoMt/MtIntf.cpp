#include "valko/MtIntf.h"

#include "MtService.h"

using valko::standin::CMtService;

bool CMtIntf::Init() {
  return CMtService::Instance().Init();
}

bool CMtIntf::Start(IMsgTransmitInterface* transmit, const std::string& ownerName) {
  return CMtService::Instance().Start(transmit, ownerName);
}

void CMtIntf::Stop() {
  CMtService::Instance().Stop();
}

bool CMtIntf::RegMtInfoCallback(IMtInfo* info) {
  return CMtService::Instance().AddSource(info);
}

bool CMtIntf::UnRegMtInfoCallback(IMtInfo* info) {
  return CMtService::Instance().RemoveSource(info);
}

uint64_t CMtIntf::AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                  bool accumulate) {
  return CMtService::Instance().AddCounter(counterName, amount, report, accumulate);
}
