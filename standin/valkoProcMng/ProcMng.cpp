#include "valko/ProcMng.h"

#include "tbxUtil/StandinSupport.h"

bool CProcMng::Init() {
  return !tbx::standin::ShouldFail("CProcMng::Init");
}
