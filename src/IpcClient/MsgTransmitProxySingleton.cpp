#include "IpcClient/MsgTransmitProxySingleton.h"

#include "IpcClient/IpcClient.h"
#include "Singleton.h"
#include "valko/MsgTransmitProxy.h"
// The one home of the proxy's singleton in the process, exported to the libraries loaded into it.
#include "valko/MsgTransmitProxyHome.h"

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
