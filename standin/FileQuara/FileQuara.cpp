#include "valko/FileQuara.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinAllocation.h"

VALKO_SINGLETON_HOME(CFileQuara)

VALKO_STANDIN_CREATION(CFileQuara)

bool CFileQuara::Init() {
  if (tbx::standin::ShouldFail("CFileQuara::Init")) {
    return false;
  }
  initialised_ = true;
  return true;
}
