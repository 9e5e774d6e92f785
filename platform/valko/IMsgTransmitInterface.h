// The message transmit interface the whole process, and the modules loaded into it, use to
// reach the main agent. The slot order is shared with the agent libraries and must not change.
#pragma once

#include <cstdint>
#include <string>

#include "valko/IProtocolHandler.h"

// Virtual slots in declaration order, 0 to 11.
class IMsgTransmitInterface {
 public:
  virtual ~IMsgTransmitInterface() {}
  virtual bool InitClient() { return true; }
  virtual bool RegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) = 0;
  virtual bool UnRegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) = 0;
  virtual bool DispatchProtocol(const std::string& type, const std::string& data) = 0;
  virtual bool IsConnected() = 0;
  virtual bool Connect() = 0;
  virtual bool ConnectServer() = 0;
  virtual bool SendMsg(const std::string& type, const std::string& data, const std::string& traceId,
                       int32_t priority, bool keepFlag) = 0;
  virtual bool SendIpcOnlyMsg(int32_t unused, const std::string& type, const std::string& data,
                              const std::string& traceId, int32_t priority, bool keepFlag) = 0;
  virtual bool SendMsgWithObjId(const std::string& type, const std::string& data,
                                const std::string& objId, const std::string& traceId,
                                int32_t priority, bool keepFlag) = 0;
  virtual void ReservedCall(int32_t) {}
};
