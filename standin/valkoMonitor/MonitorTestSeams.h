// Test seams of valkoMonitor: the process never stops its resource monitor or drops a
// statistics source, but a test that owns the monitor or a source must, before either goes.
#pragma once

#include "Export.h"
#include "valko/IMonitorInfo.h"

namespace valko::testing {

// Ends the sampling thread of the process's monitor; no callback runs after it returns, unless
// it is called from one.
VALKOMONITOR_API void StopMonitor();
// Removes a statistics source from the process's monitor; it is not asked for its line after
// this returns. False when it was not added.
VALKOMONITOR_API bool RemoveMonitorPoint(IMonitorInfo* info);

}  // namespace valko::testing
