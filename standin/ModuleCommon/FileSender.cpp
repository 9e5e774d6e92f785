#include "valko/FileSender.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinAllocation.h"

VALKO_SINGLETON_HOME(CFileSender)

VALKO_STANDIN_CREATION(CFileSender)

bool CFileSender::Init() {
  if (tbx::standin::ShouldFail("CFileSender::Init")) {
    return false;
  }
  initialised_ = true;
  return true;
}
