#include "BuildStamp.h"

// The build recompiles this file whenever another monitor source changes, so the stamp follows
// the latest build of the executable rather than the first.
const char* BuildDate() {
  return __DATE__;
}

const char* BuildTime() {
  return __TIME__;
}
