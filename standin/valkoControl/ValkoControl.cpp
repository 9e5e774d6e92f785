#include "valko/ValkoControl.h"

#include "tbxUtil/StandinSupport.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CValkoControl)

VALKO_STANDIN_CREATION(CValkoControl)

// Called once by start-up, before any other thread asks for the owner.
bool CValkoControl::Init(const std::string& ownerName) {
  if (tbx::standin::ShouldFail("CValkoControl::Init")) {
    return false;
  }
  owner_ = ownerName;
  return true;
}

std::string CValkoControl::GetOwnerName() const {
  return owner_;
}
