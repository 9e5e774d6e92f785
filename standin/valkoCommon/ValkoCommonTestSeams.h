// Test seams of valkoCommon: what the process's global domain configuration holds.
#pragma once

#include <string>
#include <vector>

#include "Export.h"

namespace valko::testing {

// The two default server domain lists CGlobalDomainConfig last accepted (empty before).
VALKOCOMMON_API void GetDefaultSrvDomain(std::vector<std::string>& first,
                                       std::vector<std::string>& second);

}  // namespace valko::testing
