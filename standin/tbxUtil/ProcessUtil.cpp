#include "tbx/ProcessUtil.h"

#include <atomic>

#include "SystemProcessUtil.h"
#include "TbxTestSeams.h"

namespace tbx {
namespace {

std::atomic<IProcessUtil*> g_processOverride{nullptr};  // a test's fake, or null

}  // namespace

IProcessUtil* GetProcessUtil() {
  IProcessUtil* overridden = g_processOverride.load();
  if (overridden != nullptr) {
    return overridden;
  }
  static IProcessUtil* service = new SystemProcessUtil;  // never destroyed
  return service;
}

}  // namespace tbx

namespace tbx::testing {

void OverrideProcessUtil(IProcessUtil* util) {
  g_processOverride.store(util);
}

}  // namespace tbx::testing
