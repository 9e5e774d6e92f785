#include "valko/WhiteList.h"

#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CWhiteList)

VALKO_STANDIN_CREATION(CWhiteList)

bool CWhiteList::Init() {
  return valko::standin::InitUnlessListed("CWhiteList::Init");
}
