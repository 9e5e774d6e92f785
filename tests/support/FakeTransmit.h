// A message transmit interface that records what it is asked: sent messages and the handler
// registrations. Safe to call from several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "valko/IMsgTransmitInterface.h"

namespace korvex_test {

struct SentMessage {
  std::string type;
  std::string data;
  std::string traceId;
  int32_t priority;
  bool keepFlag;
};

class FakeTransmit : public IMsgTransmitInterface {
 public:
  using Registration = std::pair<std::string, IProtocolHandler*>;

  bool RegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) override {
    std::lock_guard<std::mutex> hold(mutex_);
    handlers_.emplace_back(type, handler);
    return true;
  }
  bool UnRegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) override {
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
      if (it->first == type && it->second == handler) {
        handlers_.erase(it);
        unregistered_.push_back(type);
        return true;
      }
    }
    return false;
  }
  // Calls the handlers of `type` the way the dispatcher would.
  bool DispatchProtocol(const std::string& type, const std::string& data) override {
    bool any = false;
    for (const Registration& registration : handlers()) {
      if (registration.first == type) {
        registration.second->Handle(data);
        any = true;
      }
    }
    return any;
  }
  bool IsConnected() override { return true; }
  bool Connect() override { return true; }
  bool ConnectServer() override { return true; }
  bool SendMsg(const std::string& type, const std::string& data, const std::string& traceId,
               int32_t priority, bool keepFlag) override {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.push_back({type, data, traceId, priority, keepFlag});
    return true;
  }
  bool SendIpcOnlyMsg(int32_t, const std::string& type, const std::string& data,
                      const std::string& traceId, int32_t priority, bool keepFlag) override {
    return SendMsg(type, data, traceId, priority, keepFlag);
  }
  bool SendMsgWithObjId(const std::string& type, const std::string& data, const std::string&,
                        const std::string& traceId, int32_t priority, bool keepFlag) override {
    return SendMsg(type, data, traceId, priority, keepFlag);
  }

  std::vector<SentMessage> sent() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return sent_;
  }
  std::vector<Registration> handlers() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return handlers_;
  }
  // Types in the order their handlers were unregistered.
  std::vector<std::string> unregistered() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return unregistered_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<SentMessage> sent_;
  std::vector<Registration> handlers_;
  std::vector<std::string> unregistered_;
};

}  // namespace korvex_test
