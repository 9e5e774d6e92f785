// VALKO_SINGLETON_HOME(T): the one explicit instantiation of CSingleton<T>, placed in the
// library that defines T. T's header declares it beforehand with the library's export macro
// (`extern template class <LIBRARY>_API CSingleton<T>;`, before T is defined), which is what
// exports the members, statics included.
#pragma once

#include "Singleton.h"

#define VALKO_SINGLETON_HOME(T) template class CSingleton<T>;
