// A module for the module manager's tests. Beside the entry points it exports what it sees of
// the process-wide proxy, so a test can check that a module loaded at run time reaches the
// executable's one instance. PROBE_MODULE_INIT_RESULT, when set, is what its init returns.
#include <cstdlib>
#include <string>

#include "valko/ModuleEntry.h"
#include "valko/MsgTransmitProxy.h"

namespace {

class ProbeHandler : public IProtocolHandler {
 public:
  void Handle(const std::string&) override {}
};

ProbeHandler g_handler;
IMsgTransmitInterface* g_registeredWith = nullptr;

}  // namespace

extern "C" {

int32_t KorvexModuleInit() {
  if (const char* forced = std::getenv("PROBE_MODULE_INIT_RESULT")) {
    return std::atoi(forced);
  }
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit == nullptr || !transmit->RegisterProtocolHandler("T_MSG_PROBE", &g_handler)) {
    return 1;
  }
  g_registeredWith = transmit;
  return 0;
}

void KorvexModuleUninit() {
  if (g_registeredWith != nullptr) {
    g_registeredWith->UnRegisterProtocolHandler("T_MSG_PROBE", &g_handler);
    g_registeredWith = nullptr;
  }
}

// The proxy as this module's own reference to the exported singleton resolves it.
KORVEX_MODULE_API void* ProbeProxyInstance() {
  return CSingleton<CMsgTransmitProxy>::GetInstance();
}

// The interface as this module reaches it through the proxy library.
KORVEX_MODULE_API void* ProbeTransmitInstance() {
  return GetMsgTransmitInstance();
}

}  // extern "C"
