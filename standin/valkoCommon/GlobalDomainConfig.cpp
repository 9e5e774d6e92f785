#include <mutex>

#include "valko/ValkoCommon.h"
#include "valkoCommon/SingletonHome.h"

VALKO_SINGLETON_HOME(CGlobalDomainConfig)

namespace {

bool HasNonEmptyDomain(const std::vector<std::string>& domains) {
  for (const std::string& domain : domains) {
    if (!domain.empty()) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool CGlobalDomainConfig::SetDefaultSrvDomain(const std::vector<std::string>& first,
                                              const std::vector<std::string>& second) {
  // A list without a single usable domain would leave the agent with no server to reach; the
  // domains accepted before stay in force.
  if (!HasNonEmptyDomain(second)) {
    return false;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  first_ = first;
  second_ = second;
  return true;
}

void CGlobalDomainConfig::GetDefaultSrvDomain(std::vector<std::string>& first,
                                              std::vector<std::string>& second) const {
  std::lock_guard<std::mutex> hold(mutex_);
  first = first_;
  second = second_;
}
