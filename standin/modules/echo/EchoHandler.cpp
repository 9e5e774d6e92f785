#include "EchoHandler.h"

#include "valko/MsgTransmitProxy.h"

namespace echo {

void CEchoHandler::Handle(const std::string& data) {
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit != nullptr) {
    transmit->SendMsg(kAnswerType, data, "", kAnswerPriority, false);
  }
}

}  // namespace echo
