#include "valko/ValkoCommon.h"
#include "valkoCommon/SingletonHome.h"

#include <mutex>

VALKO_SINGLETON_HOME(tbx::CValkoPathInfo)

namespace tbx {

std::string CValkoPathInfo::GetValkoRootPath() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return root_;
}

void CValkoPathInfo::SetValkoRootPath(const std::string& root) {
  std::lock_guard<std::mutex> hold(mutex_);
  root_ = root;
}

}  // namespace tbx
