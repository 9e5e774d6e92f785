// The IPC client's platform in the process: the agent libraries and the system themselves.
#pragma once

#include "IpcClient/IpcClientPlatform.h"

class CAgentIpcClientPlatform : public IIpcClientPlatform {
 public:
  // The process's one instance; it has no state.
  static CAgentIpcClientPlatform& Instance();

  int32_t SetLogCallback(IpcLogCallback callback) override;
  int32_t InitIpcClient(const IpcInitParam* param) override;
  int32_t ConnectIpcServer(const std::string& serverName) override;
  bool IsIpcClientNeedConnect() override;
  int32_t IpcRegData(const char* text, uint32_t length) override;
  int32_t IpcSendData(const char* text, uint32_t length) override;
  int32_t IpcSendDataEx(const std::string& data, const std::string& header) override;
  int32_t FreeIpcClient() override;

  bool RegMtInfoCallback(IMtInfo* info) override;
  uint64_t AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                           bool accumulate) override;
  void AddMonitorPoint(IMonitorInfo* info) override;
  void SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                          uint32_t timeoutSeconds) override;

  void Sleep(uint32_t milliseconds) override;
  uint32_t SystemVersion() override;
  uint32_t ProcessorCount() override;
};
