#include <filesystem>
#include <system_error>

#include "valko/ValkoCommon.h"

namespace tbx {
namespace {

// `root` as an absolute, lexically normalised path without a final separator ("/" stays "/");
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
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') {
    text.pop_back();
  }
  return text;
}

}  // namespace

// Runs once on the start-up thread, before any user of these instances exists.
bool InitValkoCommon(const std::string& agentRoot) {
  if (CSingleton<CValkoPathInfo>::GetInstance() == nullptr) {
    CSingleton<CValkoPathInfo>::NewInstance();
  }
  if (CSingleton<CGlobalDomainConfig>::GetInstance() == nullptr) {
    CSingleton<CGlobalDomainConfig>::NewInstance();
  }
  CValkoPathInfo* pathInfo = CSingleton<CValkoPathInfo>::GetInstance();
  if (pathInfo == nullptr || CSingleton<CGlobalDomainConfig>::GetInstance() == nullptr) {
    return false;
  }
  std::string root = AbsoluteRoot(agentRoot);
  if (root.empty()) {
    return false;
  }
  pathInfo->SetValkoRootPath(root);
  return true;
}

}  // namespace tbx
