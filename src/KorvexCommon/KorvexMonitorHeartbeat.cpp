#include "KorvexCommon/KorvexMonitorHeartbeat.h"

#include <json/json.h>

#include <exception>

#include "KorvexCommon/WallClock.h"
#include "MonitorNames.h"
#include "tbx/ToolUtil.h"
#include "valko/MsgTransmitProxy.h"

// The executable is the one home of this singleton.
template class CSingleton<CKorvexMonitorHeartbeat>;

namespace {

const char kRunningState[] = "running";

}  // namespace

CKorvexMonitorHeartbeat::CKorvexMonitorHeartbeat() : timer_(*this) {
  timer_.Start(kIntervalMilliseconds, tbx::kNoTimerTag);
  SendHeartbeat();
}

void CKorvexMonitorHeartbeat::OnTimer(uint64_t timerId) {
  if (timerId == timer_.Id()) {
    SendHeartbeat();
  }
}

bool CKorvexMonitorHeartbeat::SendHeartbeat() {
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit == nullptr) {
    return false;
  }
  const std::string text =
      BuildHeartbeatText(tbx::CToolUtil::GetApplicationFileName(), CWallClock::NowSeconds());
  if (text.empty()) {
    return false;
  }
  return transmit->SendMsg(kMessageType, text, "", kPriority, false);
}

std::string CKorvexMonitorHeartbeat::BuildHeartbeatText(const std::string& procName,
                                                        int64_t seconds) {
  try {
    Json::Value beat(Json::objectValue);
    beat["state"] = kRunningState;
    beat["plugin_name"] = kMonitorPluginName;
    beat["proc_name"] = procName;
    beat["ts"] = Json::Int64(seconds);
    return Json::StyledWriter().write(beat);
  } catch (const std::exception&) {
    return "";  // only an allocation can fail here; the next tick tries again
  }
}
