#include "valko/WhiteList.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinAllocation.h"

VALKO_SINGLETON_HOME(CWhiteList)

VALKO_STANDIN_CREATION(CWhiteList)

bool CWhiteList::Init() {
  if (tbx::standin::ShouldFail("CWhiteList::Init")) {
    return false;
  }
  initialised_ = true;
  return true;
}
