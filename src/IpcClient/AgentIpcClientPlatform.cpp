#include "IpcClient/AgentIpcClientPlatform.h"

#include "Singleton.h"
#include "tbx/SystemInfo.h"
#include "tbx/ToolUtil.h"
#include "valko/Monitor.h"
#include "valko/MtIntf.h"
#include "win32/Win32.h"

CAgentIpcClientPlatform& CAgentIpcClientPlatform::Instance() {
  static CAgentIpcClientPlatform platform;
  return platform;
}

int32_t CAgentIpcClientPlatform::SetLogCallback(IpcLogCallback callback) {
  return ::SetLogCallback(callback);
}

int32_t CAgentIpcClientPlatform::InitIpcClient(const IpcInitParam* param) {
  return ::InitIpcClient(param);
}

int32_t CAgentIpcClientPlatform::ConnectIpcServer(const std::string& serverName) {
  return ::ConnectIpcServer(serverName);
}

bool CAgentIpcClientPlatform::IsIpcClientNeedConnect() {
  return ::IsIpcClientNeedConnect();
}

int32_t CAgentIpcClientPlatform::IpcRegData(const char* text, uint32_t length) {
  return ::IpcRegData(text, length);
}

int32_t CAgentIpcClientPlatform::IpcSendData(const char* text, uint32_t length) {
  return ::IpcSendData(text, length);
}

int32_t CAgentIpcClientPlatform::IpcSendDataEx(const std::string& data,
                                               const std::string& header) {
  return ::IpcSendDataEx(data, header);
}

int32_t CAgentIpcClientPlatform::FreeIpcClient() {
  return ::FreeIpcClient();
}

bool CAgentIpcClientPlatform::RegMtInfoCallback(IMtInfo* info) {
  return CMtIntf::RegMtInfoCallback(info);
}

uint64_t CAgentIpcClientPlatform::AddExceptonInfo(const std::string& counterName, uint64_t amount,
                                                  bool report, bool accumulate) {
  return CMtIntf::AddExceptonInfo(counterName, amount, report, accumulate);
}

void CAgentIpcClientPlatform::AddMonitorPoint(IMonitorInfo* info) {
  if (CMonitor* monitor = CSingleton<CMonitor>::GetInstance()) {
    monitor->AddMonitorPoint(info);
  }
}

void CAgentIpcClientPlatform::SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                                                 uint32_t timeoutSeconds) {
  // Start-up creates the resource monitor before the client; tools may have none.
  if (CMonitor* monitor = CSingleton<CMonitor>::GetInstance()) {
    monitor->SetThreadHeartbeat(threadId, name, timeoutSeconds);
  }
}

void CAgentIpcClientPlatform::Sleep(uint32_t milliseconds) {
  tbx::CToolUtil::msleep(milliseconds);
}

uint32_t CAgentIpcClientPlatform::SystemVersion() {
  tbx::CWinOsVersion* os = CSingleton<tbx::CWinOsVersion>::GetInstance();
  if (os == nullptr) {
    os = CSingleton<tbx::CWinOsVersion>::NewInstance();
  }
  // Without the component the system counts as new: the fast pacing.
  return os != nullptr ? os->GetSysVersion() : UINT32_MAX;
}

uint32_t CAgentIpcClientPlatform::ProcessorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}
