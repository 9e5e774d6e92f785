#include "HttpService.h"

#include "tbx/FileUtil.h"

namespace valko::standin {

bool CHttpService::SetCertFilePath(const std::string& path) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    certPath_ = path;
  }
  return tbx::CFileUtil::IsFile(path);
}

std::string CHttpService::GetCertFilePath() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return certPath_;
}

}  // namespace valko::standin

IHttpInstance* GetHttpInstance() {
  static valko::standin::CHttpService service;
  return &service;
}
