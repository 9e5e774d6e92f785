#include "valko/MsgTransmitProxy.h"

#include <atomic>

// No instantiation of CSingleton<CMsgTransmitProxy> here: the executable is its home and
// exports it, and this library resolves those symbols against the executable at load time.

namespace {

// The interface the one proxy forwards to; not owned, null until InitProxy. It lives here, not
// in the object, because the executable allocates the proxy from the class as it declares it.
std::atomic<IMsgTransmitInterface*> g_transmit{nullptr};

}  // namespace

CMsgTransmitProxy::CMsgTransmitProxy() {
  g_transmit.store(nullptr, std::memory_order_release);
}

bool CMsgTransmitProxy::InitProxy(IMsgTransmitInterface* transmit) {
  if (transmit == nullptr) {
    return false;
  }
  g_transmit.store(transmit, std::memory_order_release);
  return true;
}

IMsgTransmitInterface* GetMsgTransmitInstance() {
  if (CSingleton<CMsgTransmitProxy>::GetInstance() == nullptr) {
    return nullptr;
  }
  return g_transmit.load(std::memory_order_acquire);
}
