// What a module library exports for the module manager.
#pragma once

#include <cstdint>

#include "Export.h"

extern "C" {
// Called once after the module is loaded; 0 on success.
KORVEX_MODULE_API int32_t KorvexModuleInit();
// Called once before the module is unloaded; no callback of the module may run afterwards.
KORVEX_MODULE_API void KorvexModuleUninit();
}
