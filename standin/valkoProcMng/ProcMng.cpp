#include "valko/ProcMng.h"

#include <atomic>

#include "tbxUtil/StandinSupport.h"

namespace {
std::atomic<bool> g_initialised{false};  // set by a successful Init
}  // namespace

bool CProcMng::Init() {
  if (tbx::standin::ShouldFail("CProcMng::Init")) {
    return false;
  }
  g_initialised.store(true);
  return true;
}

bool CProcMng::IsInitialised() {
  return g_initialised.load();
}
