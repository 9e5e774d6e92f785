// What the IPC client reaches outside the monitor's own code: the IPC library's client, the agent
// services it reports to, sleeping, and the system facts behind the send thread's pacing. The
// process passes CAgentIpcClientPlatform, which calls the agent libraries and the system; a test
// passes its own to steer and count the calls.
#pragma once

#include <cstdint>
#include <string>

#include "ipc/TbxIpc.h"
#include "valko/IMonitorInfo.h"
#include "valko/IMtInfo.h"

class IIpcClientPlatform {
 public:
  virtual ~IIpcClientPlatform() = default;

  // The IPC library's client (ipc/TbxIpc.h), call for call.
  virtual int32_t SetLogCallback(IpcLogCallback callback) = 0;
  virtual int32_t InitIpcClient(const IpcInitParam* param) = 0;
  virtual int32_t ConnectIpcServer(const std::string& serverName) = 0;
  virtual bool IsIpcClientNeedConnect() = 0;
  virtual int32_t IpcRegData(const char* text, uint32_t length) = 0;
  virtual int32_t IpcSendData(const char* text, uint32_t length) = 0;
  virtual int32_t IpcSendDataEx(const std::string& data, const std::string& header) = 0;
  virtual int32_t FreeIpcClient() = 0;

  // The maintenance component (valko/MtIntf.h).
  virtual bool RegMtInfoCallback(IMtInfo* info) = 0;
  virtual uint64_t AddExceptonInfo(const std::string& counterName, uint64_t amount, bool report,
                                   bool accumulate) = 0;
  // The resource monitor (valko/Monitor.h); nothing happens while the process has none.
  virtual void AddMonitorPoint(IMonitorInfo* info) = 0;
  virtual void SetThreadHeartbeat(uint32_t threadId, const std::string& name,
                                  uint32_t timeoutSeconds) = 0;

  // The utility library's sleep, in milliseconds.
  virtual void Sleep(uint32_t milliseconds) = 0;
  // The system's version number (as tbx::CWinOsVersion gives it) and its processor count.
  virtual uint32_t SystemVersion() = 0;
  virtual uint32_t ProcessorCount() = 0;
};
