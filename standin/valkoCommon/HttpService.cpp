#include "HttpService.h"

#include <sys/stat.h>

namespace valko::standin {

bool CHttpService::SetCertFilePath(const std::string& path) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    certPath_ = path;
  }
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
