#include "valko/FileWatch.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinAllocation.h"

VALKO_SINGLETON_HOME(CFileWatch)

VALKO_STANDIN_CREATION(CFileWatch)

bool CFileWatch::Init() {
  if (tbx::standin::ShouldFail("CFileWatch::Init")) {
    return false;
  }
  initialised_ = true;
  return true;
}
