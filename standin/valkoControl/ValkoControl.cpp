#include "valko/ValkoControl.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CValkoControl)

VALKO_STANDIN_CREATION(CValkoControl)

// The stand-in has nothing to control on the owner's behalf.
bool CValkoControl::Init(const std::string& /*ownerName*/) {
  return !tbx::standin::ShouldFail("CValkoControl::Init");
}
