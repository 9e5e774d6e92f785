// valkoProcMng: process management.
#pragma once

#include "Export.h"

class VALKOPROCMNG_API CProcMng {
 public:
  static bool Init();
};
