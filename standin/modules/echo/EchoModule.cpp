// The module's entry points: the handler is registered for as long as the module is loaded.
#include "EchoHandler.h"
#include "valko/ModuleEntry.h"
#include "valko/MsgTransmitProxy.h"

namespace {

echo::CEchoHandler g_handler;
IMsgTransmitInterface* g_registeredWith = nullptr;  // the interface holding g_handler, if any

}  // namespace

extern "C" int32_t KorvexModuleInit() {
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit == nullptr ||
      !transmit->RegisterProtocolHandler(echo::CEchoHandler::kRequestType, &g_handler)) {
    return 1;
  }
  g_registeredWith = transmit;
  return 0;
}

extern "C" void KorvexModuleUninit() {
  // Unregistered from the interface it was registered with, which the proxy may since have
  // been pointed away from.
  if (g_registeredWith != nullptr) {
    g_registeredWith->UnRegisterProtocolHandler(echo::CEchoHandler::kRequestType, &g_handler);
    g_registeredWith = nullptr;
  }
}
