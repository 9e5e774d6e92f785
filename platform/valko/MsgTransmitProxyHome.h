// The home of CSingleton<CMsgTransmitProxy>: the definitions of its members, which the
// executable exports to the proxy library and the modules. Included by one translation unit of
// the executable, or of a test that stands in for it, and by no other.
#pragma once

#include "Export.h"
#include "valko/MsgTransmitProxy.h"

// GCC notes that the attribute follows the point where the class became complete
// (CMsgTransmitProxy derives from it); the members, statics included, get default visibility
// all the same, so the note is silenced. On Windows the .def file exports them.
KORVEX_IGNORE_ATTRIBUTE_NOTES
template class KORVEX_EXPORT CSingleton<CMsgTransmitProxy>;
KORVEX_DIAGNOSTICS_POP
template <>
KORVEX_MONITOR_API CMsgTransmitProxy* CSingleton<CMsgTransmitProxy>::m_pInstance = nullptr;
template <>
KORVEX_MONITOR_API int32_t CSingleton<CMsgTransmitProxy>::m_nRef = 0;
