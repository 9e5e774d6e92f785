// valkoMsgTransmitProxy: the process-wide way to the message transmit interface. The proxy's
// singleton, CSingleton<CMsgTransmitProxy>, is defined and exported by the executable; this
// library and the modules resolve it there.
#pragma once

#include "Export.h"
#include "Singleton.h"
#include "valko/IMsgTransmitInterface.h"

class KORVEX_EXPORT CMsgTransmitProxy : public CSingleton<CMsgTransmitProxy> {
 public:
  // Remembers the interface the proxy forwards to; false for null.
  bool InitProxy(IMsgTransmitInterface* transmit);

 private:
  friend class CSingleton<CMsgTransmitProxy>;
  CMsgTransmitProxy();
};

// The interface handed to InitProxy of the process's proxy; null before that.
KORVEX_EXPORT IMsgTransmitInterface* GetMsgTransmitInstance();

extern template class CSingleton<CMsgTransmitProxy>;
