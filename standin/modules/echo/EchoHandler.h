// Answers every "T_MSG_ECHO" message with a "T_MSG_ECHO_ACK" carrying the same data, through
// the process's message transmit interface.
#pragma once

#include <string>

#include "valko/IProtocolHandler.h"

namespace echo {

class CEchoHandler : public IProtocolHandler {
 public:
  static constexpr const char* kRequestType = "T_MSG_ECHO";
  static constexpr const char* kAnswerType = "T_MSG_ECHO_ACK";
  static constexpr int kAnswerPriority = 2;

  CEchoHandler() = default;

  void Handle(const std::string& data) override;

 private:
  CEchoHandler(const CEchoHandler&) = delete;
  CEchoHandler& operator=(const CEchoHandler&) = delete;
};

}  // namespace echo
