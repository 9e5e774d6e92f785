#include "valko/FileSender.h"

#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CFileSender)

VALKO_STANDIN_CREATION(CFileSender)

bool CFileSender::Init() {
  return valko::standin::InitUnlessListed("CFileSender::Init");
}
