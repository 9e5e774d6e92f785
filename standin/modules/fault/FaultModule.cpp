// The module's entry points: the handler is registered for as long as the module is loaded.
#include "FaultHandler.h"
#include "valko/ModuleEntry.h"
#include "valko/MsgTransmitProxy.h"

namespace {

fault::CFaultHandler g_handler;
IMsgTransmitInterface* g_registeredWith = nullptr;  // the interface holding g_handler, if any

}  // namespace

extern "C" int32_t KorvexModuleInit() {
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit == nullptr ||
      !transmit->RegisterProtocolHandler(fault::CFaultHandler::kRequestType, &g_handler)) {
    return 1;
  }
  g_registeredWith = transmit;
  return 0;
}

extern "C" void KorvexModuleUninit() {
  if (g_registeredWith != nullptr) {
    g_registeredWith->UnRegisterProtocolHandler(fault::CFaultHandler::kRequestType, &g_handler);
    g_registeredWith = nullptr;
  }
}
