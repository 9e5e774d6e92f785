// The test executable plays the monitor's part: it is the home of the proxy's singleton and
// exports it to the proxy library and to the modules it loads.
#include "valko/MsgTransmitProxyHome.h"
