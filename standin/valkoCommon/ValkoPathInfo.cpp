#include <filesystem>
#include <mutex>
#include <system_error>

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
// "" when it is empty or cannot be made absolute.
std::string AbsoluteRoot(const std::string& root) {
  if (root.empty()) {
    return "";
  }
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(root, error);
  if (error) {
    return "";
  }
  std::filesystem::path normal = absolute.lexically_normal();
  std::string text = normal.string();
  // The root itself ("/", "C:\\") keeps its separator.
  const size_t rootLength = normal.root_path().string().size();
  while (text.size() > rootLength && (text.back() == '/' || text.back() == '\\')) {
    text.pop_back();
  }
  return text;
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
