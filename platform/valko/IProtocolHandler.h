// A handler of received messages of one or more types, registered through
// IMsgTransmitInterface. The registry never owns a handler: whoever registers it keeps it alive
// until it has unregistered it.
#pragma once

#include <string>

class IProtocolHandler {
 public:
  virtual ~IProtocolHandler() {}
  // Called on the dispatching thread with the message's data text.
  virtual void Handle(const std::string& data) = 0;
};
