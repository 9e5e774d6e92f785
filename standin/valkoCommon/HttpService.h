// The process-wide HTTP service behind GetHttpInstance: it keeps the certificate that the
// agent's HTTPS requests use.
#pragma once

#include <mutex>
#include <string>

#include "Export.h"
#include "valko/ValkoCommon.h"

namespace valko::standin {

class VALKOCOMMON_API CHttpService : public IHttpInstance {
 public:
  CHttpService() = default;

  // Keeps `path` in every case; false when no regular file is there (yet).
  bool SetCertFilePath(const std::string& path) override;
  std::string GetCertFilePath() const;

 private:
  CHttpService(const CHttpService&) = delete;
  CHttpService& operator=(const CHttpService&) = delete;

  mutable std::mutex mutex_;  // guards certPath_
  std::string certPath_;      // as last given, "" before
};

}  // namespace valko::standin
