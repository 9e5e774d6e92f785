#include "IpcClient/MsgTransmitProxySingleton.h"

#include "Export.h"
#include "IpcClient/IpcClient.h"
#include "Singleton.h"
#include "valko/MsgTransmitProxy.h"

// The one instantiation of the proxy's singleton in the process, exported to the libraries
// loaded into it. GCC notes that the attribute follows the point where the class became complete
// (CMsgTransmitProxy derives from it); the members, statics included, get default visibility
// all the same, so the note is silenced. On Windows KorvexMonitor.def exports them.
KORVEX_IGNORE_ATTRIBUTE_NOTES
template class KORVEX_EXPORT CSingleton<CMsgTransmitProxy>;
KORVEX_DIAGNOSTICS_POP

bool CreateIpcClientAndProxy() {
  CIpcClient* client = CSingleton<CIpcClient>::NewInstance();
  if (client == nullptr) {
    return false;
  }
  if (CSingleton<CMsgTransmitProxy>::NewInstance() == nullptr) {
    CSingleton<CIpcClient>::RemoveInstance();
    return false;
  }
  IMsgTransmitInterface* transmit = client;
  return CSingleton<CMsgTransmitProxy>::GetInstance()->InitProxy(transmit);
}
