#include <mutex>

#include "tbx/FileUtil.h"
#include "valko/ValkoCommon.h"
#include "valkoCommon/SingletonHome.h"

VALKO_SINGLETON_HOME(tbx::CValkoPathInfo)

namespace tbx {
namespace {

// The one instance's agent root: absolute, without a final separator.
std::mutex g_rootMutex;
std::string g_root;  // guarded by g_rootMutex

// `root` as an absolute, lexically normalised path in the system's form (Windows: drive and
// backslashes, as process image paths are) without a final separator ("/" stays "/");
// "" when it is empty.
std::string AbsoluteRoot(const std::string& root) {
  return root.empty() ? "" : CDirCom(root).absolutePath();
}

}  // namespace

CValkoPathInfo::CValkoPathInfo() {
  std::lock_guard<std::mutex> hold(g_rootMutex);
  g_root.clear();
}

std::string CValkoPathInfo::GetValkoRootPath() const {
  std::lock_guard<std::mutex> hold(g_rootMutex);
  return g_root;
}

// Runs once on the start-up thread, before any user of these instances exists.
bool InitValkoCommon(const std::string& agentRoot) {
  if (CSingleton<CValkoPathInfo>::GetInstance() == nullptr) {
    CSingleton<CValkoPathInfo>::NewInstance();
  }
  if (CSingleton<CGlobalDomainConfig>::GetInstance() == nullptr) {
    CSingleton<CGlobalDomainConfig>::NewInstance();
  }
  if (CSingleton<CValkoPathInfo>::GetInstance() == nullptr ||
      CSingleton<CGlobalDomainConfig>::GetInstance() == nullptr) {
    return false;
  }
  std::string root = AbsoluteRoot(agentRoot);
  if (root.empty()) {
    return false;
  }
  std::lock_guard<std::mutex> hold(g_rootMutex);
  g_root = root;
  return true;
}

}  // namespace tbx
