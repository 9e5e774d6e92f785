// The message transmit interface the whole process, and the modules loaded into it, use to
// reach the main agent. The slot order is shared with the agent libraries and must not change.
#pragma once

#include <cstdint>
#include <string>

#include "valko/IProtocolHandler.h"

class IMsgTransmitInterface {
 public:
  virtual ~IMsgTransmitInterface() {}                                          // slot 0
  virtual bool InitClient() { return true; }                                   // slot 1
  virtual bool RegisterProtocolHandler(const std::string& type,                // slot 2
                                       IProtocolHandler* handler) = 0;
  virtual bool UnRegisterProtocolHandler(const std::string& type,              // slot 3
                                         IProtocolHandler* handler) = 0;
  virtual bool DispatchProtocol(const std::string& type, const std::string& data) = 0;  // 4
  virtual bool IsConnected() = 0;                                              // slot 5
  virtual bool Connect() = 0;                                                  // slot 6
  virtual bool ConnectServer() = 0;                                            // slot 7
  virtual bool SendMsg(const std::string& type, const std::string& data,      // slot 8
                       const std::string& traceId, int32_t priority, bool keepFlag) = 0;
  virtual bool SendIpcOnlyMsg(int32_t unused, const std::string& type,        // slot 9
                              const std::string& data, const std::string& traceId,
                              int32_t priority, bool keepFlag) = 0;
  virtual bool SendMsgWithObjId(const std::string& type, const std::string& data,  // slot 10
                                const std::string& objId, const std::string& traceId,
                                int32_t priority, bool keepFlag) = 0;
  virtual void ReservedCall(int32_t) {}                                        // slot 11
};
