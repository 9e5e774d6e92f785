// VALKO_SINGLETON_HOME(T): the one explicit, exported instantiation of CSingleton<T>, placed in
// the library that defines T. GCC notes that the export attribute comes after CSingleton<T>
// became complete (T derives from it); with default visibility the members, statics included,
// are exported all the same, and the attribute is what a DLL build needs, so the note is
// silenced here instead of dropping the attribute.
#pragma once

#include "Export.h"
#include "Singleton.h"

#define VALKO_SINGLETON_HOME(T)                                                              \
  _Pragma("GCC diagnostic push") _Pragma(                                                    \
      "GCC diagnostic ignored \"-Wattributes\"") template class KORVEX_EXPORT CSingleton<T>; \
  _Pragma("GCC diagnostic pop")
