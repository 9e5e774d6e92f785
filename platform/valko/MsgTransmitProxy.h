// valkoMsgTransmitProxy: the process-wide way to the message transmit interface. The proxy's
// singleton, CSingleton<CMsgTransmitProxy>, is defined and exported by the executable; this
// library and the modules resolve it there.
#pragma once

#include "Export.h"
#include "Singleton.h"
#include "valko/IMsgTransmitInterface.h"

class VALKOMSGTRANSMITPROXY_API CMsgTransmitProxy : public CSingleton<CMsgTransmitProxy> {
 public:
  // Remembers the interface the proxy forwards to; false for null.
  bool InitProxy(IMsgTransmitInterface* transmit);

 private:
  friend class CSingleton<CMsgTransmitProxy>;
  CMsgTransmitProxy();
};

// The interface handed to InitProxy of the process's proxy; null before that.
VALKOMSGTRANSMITPROXY_API IMsgTransmitInterface* GetMsgTransmitInstance();

// Declared member by member on Windows: a declaration of the whole class would make the proxy
// library import the singleton's typeinfo too, which the executable does not export. The
// vtable and the inline destructor stay weak copies here; the executable's own are the ones
// its objects use.
#if defined(_WIN32)
extern template CSingleton<CMsgTransmitProxy>::CSingleton();
extern template CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::NewInstance();
extern template CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::GetInstance();
extern template void CSingleton<CMsgTransmitProxy>::RemoveInstance();
extern template CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::m_pInstance;
extern template int32_t CSingleton<CMsgTransmitProxy>::m_nRef;
#else
extern template class CSingleton<CMsgTransmitProxy>;
#endif
