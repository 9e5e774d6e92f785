#include "BuildStamp.h"

// Written at every build that changed a source (cmake/WriteBuildStamp.cmake); the executables'
// version resources read the same.
#include "BuildStampValues.h"

const char* BuildDate() {
  return KORVEX_BUILD_DATE;
}

const char* BuildTime() {
  return KORVEX_BUILD_TIME;
}
