#include <mutex>

#include "ValkoCommonTestSeams.h"
#include "valko/ValkoCommon.h"
#include "valkoCommon/SingletonHome.h"

VALKO_SINGLETON_HOME(CGlobalDomainConfig)

namespace {

// The one instance's default server domains, as last accepted.
std::mutex g_domainsMutex;
std::vector<std::string> g_first;   // guarded by g_domainsMutex
std::vector<std::string> g_second;  // guarded by g_domainsMutex

bool HasNonEmptyDomain(const std::vector<std::string>& domains) {
  for (const std::string& domain : domains) {
    if (!domain.empty()) {
      return true;
    }
  }
  return false;
}

}  // namespace

CGlobalDomainConfig::CGlobalDomainConfig() {
  std::lock_guard<std::mutex> hold(g_domainsMutex);
  g_first.clear();
  g_second.clear();
}

bool CGlobalDomainConfig::SetDefaultSrvDomain(const std::vector<std::string>& first,
                                              const std::vector<std::string>& second) {
  // A list without a single usable domain would leave the agent with no server to reach; the
  // domains accepted before stay in force.
  if (!HasNonEmptyDomain(second)) {
    return false;
  }
  std::lock_guard<std::mutex> hold(g_domainsMutex);
  g_first = first;
  g_second = second;
  return true;
}

namespace valko::testing {

void GetDefaultSrvDomain(std::vector<std::string>& first, std::vector<std::string>& second) {
  std::lock_guard<std::mutex> hold(g_domainsMutex);
  first = g_first;
  second = g_second;
}

}  // namespace valko::testing
