#include "IpcClient/IpcClientMonitor.h"

#include <new>

#include "IpcClient/IpcClient.h"
#include "tbx/LogMessage.h"
#include "tbx/ToolUtil.h"
#include "valko/ModuleManager.h"
#include "valko/MsgTransmitProxy.h"
#include "valko/ReportError.h"
#include "win32/Win32.h"

// The executable is the one home of this singleton.
template class CSingleton<CIpcClientMonitor>;

namespace {

const char kLogSource[] = "IpcClient\\IpcClientMonitor";
const char kThreadName[] = "ipc_monitor";

}  // namespace

CIpcClientMonitor::CIpcClientMonitor()
    : running_(false), retryCount_(0), handlerRegisteredWith_(nullptr), unloadTimer_(*this) {}

CIpcClientMonitor::~CIpcClientMonitor() {
  running_ = false;
  waitForThreadFinish();
  if (handlerRegisteredWith_ != nullptr) {
    handlerRegisteredWith_->UnRegisterProtocolHandler(kCommandType, stopHandler_.get());
  }
}

bool CIpcClientMonitor::Start() {
  if (stopHandler_ == nullptr) {
    stopHandler_.reset(new (std::nothrow) CCmdStopProtocolHandler());
    if (stopHandler_ == nullptr) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__,
                            "ipc client get stop handler error.");
      return false;
    }
  }
  if (unloadTimer_.Id() == 0) {
    unloadTimer_.Start(kUnloadIntervalMilliseconds, tbx::kNoTimerTag);
  }
  if (handlerRegisteredWith_ == nullptr) {
    // Before the proxy is set up there is nothing to register with: a refusal like any other.
    IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
    if (transmit == nullptr ||
        !transmit->RegisterProtocolHandler(kCommandType, stopHandler_.get())) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__,
                            "ipc client add stop handler error.");
      return false;
    }
    handlerRegisteredWith_ = transmit;
  }
  running_ = true;
  if (IsThreadRunning()) {
    return true;
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "ipc client try start thread.");
  return startThread();
}

void CIpcClientMonitor::run() {
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "start ipc monitor thread");
  tbx::CThreadUtil::SetThreadName(kThreadName);
  tbx::CToolUtil::sleep(kFirstCheckDelaySeconds);
  while (running_) {
    CheckConnection();
    tbx::CToolUtil::msleep(kCheckIntervalMilliseconds);
  }
}

void CIpcClientMonitor::CheckConnection() {
  CIpcClient* client = CSingleton<CIpcClient>::GetInstance();
  if (client == nullptr || !client->NeedReconnect()) {
    retryCount_ = 0;
    return;
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "retry %d connect korvex",
                        retryCount_);
  if (retryCount_ >= kMaxRetries) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "try connec maxcnt:exit");
    CReportError::SendErrInfo("connect korvex ipc fail", CReportError::ERR_NO_NONE);
    ExitProcess(0);
  }
  ++retryCount_;
  // The outcome shows at the next check.
  static_cast<IMsgTransmitInterface*>(client)->ConnectServer();
}

void CIpcClientMonitor::OnTimer(uint64_t timerId) {
  if (timerId != unloadTimer_.Id() || stopHandler_ == nullptr ||
      !stopHandler_->IsUnloadRequested()) {
    return;
  }
  stopHandler_->ClearUnloadRequest();
  if (CModuleManager* modules = CSingleton<CModuleManager>::GetInstance()) {
    modules->UnLoadModule();
  }
}
