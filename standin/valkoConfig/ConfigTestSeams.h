// Test seams of valkoConfig. Unit tests of bounded queues use the ratio override to make the
// queue limit a few messages without writing a configuration file: with the ratio N / 3000.0,
// COnlineClientConf::CalcMaxCountWithQueueSizeRatio(3000) yields N.
#pragma once

#include <string>

#include "Export.h"

namespace valko::testing {

// The identifier the process's CConfig last loaded with LoadMachineUuidFromFile ("" before).
VALKOCONFIG_API std::string LoadedMachineUuid();

// From now on CalcMaxCountWithQueueSizeRatio uses `ratio` (non-negative) instead of the file.
VALKOCONFIG_API void OverrideQueueSizeRatio(double ratio);
// Back to the ratio of <application dir>/conf/online_client_conf, read afresh on the next call
// (so a test sees the file it has just written, without the one-second cache).
VALKOCONFIG_API void ClearQueueSizeRatioOverride();

}  // namespace valko::testing
