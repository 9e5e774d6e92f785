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

// The singleton's two data members are declared with the executable's import/export macro, as
// explicit specializations: a declaration of an instantiation would drop the macro. Functions
// need no macro (an import library calls them through a stub). They are declared member by
// member on Windows: a declaration of the whole class would make the proxy library import the
// singleton's typeinfo too, which the executable does not export, and an exported constructor
// would export its complete-object variant beside the base-object one the .def names. The vtable
// and the inline destructor stay weak copies here; the executable's own are the ones its objects
// use. valko/MsgTransmitProxyHome.h defines them all.
template <>
KORVEX_MONITOR_API CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::m_pInstance;
template <>
KORVEX_MONITOR_API int32_t CSingleton<CMsgTransmitProxy>::m_nRef;
#if defined(_WIN32)
extern template CSingleton<CMsgTransmitProxy>::CSingleton();
extern template CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::NewInstance();
extern template CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::GetInstance();
extern template void CSingleton<CMsgTransmitProxy>::RemoveInstance();
#else
extern template class CSingleton<CMsgTransmitProxy>;
#endif
