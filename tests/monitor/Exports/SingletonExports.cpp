// The proxy's singleton alone, with no library but the stubs beside it, so that clang can compile
// it for either Windows compiler's names: ExportsTest compares each .def file of the executable
// with the names the singleton's members get there.
#include "Singleton.h"

class CMsgTransmitProxy : public CSingleton<CMsgTransmitProxy> {};

template class CSingleton<CMsgTransmitProxy>;
