#include "valko/FileWatch.h"

#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CFileWatch)

VALKO_STANDIN_CREATION(CFileWatch)

bool CFileWatch::Init() {
  return valko::standin::InitUnlessListed("CFileWatch::Init");
}
