// valkoProcMng: process management.
#pragma once

#include "Export.h"

class KORVEX_EXPORT CProcMng {
 public:
  static bool Init();
};
