// The fake moved to tests/support; this path and namespace stay for the tests that still use
// them.
#pragma once

#include "support/FakeTransmit.h"

namespace standin_test {
using namespace korvex_test;
}  // namespace standin_test
