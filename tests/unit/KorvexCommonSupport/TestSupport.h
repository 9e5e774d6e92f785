// The helpers moved to tests/support; this path stays for the tests that still include it.
#pragma once

#include "support/TestSupport.h"
