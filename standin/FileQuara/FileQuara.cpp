#include "valko/FileQuara.h"

#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CFileQuara)

VALKO_STANDIN_CREATION(CFileQuara)

bool CFileQuara::Init() {
  return valko::standin::InitUnlessListed("CFileQuara::Init");
}
