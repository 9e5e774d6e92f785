// The helpers moved to tests/support (library korvex_test_support); this file stays for the
// executables that still list it among their sources instead of linking the library.
#include "support/TestSupport.cpp"
