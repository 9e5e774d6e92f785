#include "valko/MsgTransmitProxy.h"

// No instantiation of CSingleton<CMsgTransmitProxy> here: the executable is its home and
// exports it, and this library resolves those symbols against the executable at load time.

CMsgTransmitProxy::CMsgTransmitProxy() : transmit_(nullptr) {}

bool CMsgTransmitProxy::InitProxy(IMsgTransmitInterface* transmit) {
  if (transmit == nullptr) {
    return false;
  }
  transmit_.store(transmit, std::memory_order_release);
  return true;
}

IMsgTransmitInterface* CMsgTransmitProxy::GetTransmit() const {
  return transmit_.load(std::memory_order_acquire);
}

IMsgTransmitInterface* GetMsgTransmitInstance() {
  CMsgTransmitProxy* proxy = CSingleton<CMsgTransmitProxy>::GetInstance();
  return proxy == nullptr ? nullptr : proxy->GetTransmit();
}
