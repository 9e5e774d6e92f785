// The helpers moved to tests/support; this path and namespace stay for the tests that still
// use them.
#pragma once

#include "support/TestSupport.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/TbxTestSeams.h"

namespace standin_test {
using namespace korvex_test;
inline bool WaitFor(const std::function<bool()>& done) {
  return korvex_test::WaitUntil(done);
}
}  // namespace standin_test
