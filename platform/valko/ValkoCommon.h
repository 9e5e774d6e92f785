// valkoCommon: the agent root, stack texts, the HTTP and OpenSSL services and the global domain
// configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"
#include "Singleton.h"

namespace tbx {
class CValkoPathInfo;
}  // namespace tbx
class CGlobalDomainConfig;
// The homes of these singletons are this library (Singleton.h).
extern template class VALKOCOMMON_API CSingleton<tbx::CValkoPathInfo>;
extern template class VALKOCOMMON_API CSingleton<CGlobalDomainConfig>;

namespace tbx {

// Remembers the agent root and creates the process-wide instances of this library
// (CValkoPathInfo, CGlobalDomainConfig); true on success.
VALKOCOMMON_API bool InitValkoCommon(const std::string& agentRoot);

class VALKOCOMMON_API CValkoPathInfo : public CSingleton<CValkoPathInfo> {
 public:
  // The agent root that process paths must start with, as given to InitValkoCommon.
  std::string GetValkoRootPath() const;

 private:
  friend class CSingleton<CValkoPathInfo>;
  CValkoPathInfo();
};

class VALKOCOMMON_API CValkoStack {
 public:
  // The stacks of the process's threads as text ("" for another process or on failure).
  static std::string GetValkoStack(int64_t processId);
};

class IOpensslInterface {
 public:
  virtual ~IOpensslInterface() {}
  virtual bool IsReady() const = 0;
};

// The process-wide OpenSSL service; the same object on every call.
VALKOCOMMON_API IOpensslInterface* NewOpensslInterface();

}  // namespace tbx

class IHttpInstance {
 public:
  virtual ~IHttpInstance() {}
  // The certificate used for the agent's HTTPS requests; false when the file is missing.
  virtual bool SetCertFilePath(const std::string& path) = 0;
};

// The process-wide HTTP service.
VALKOCOMMON_API IHttpInstance* GetHttpInstance();

class VALKOCOMMON_API CGlobalDomainConfig : public CSingleton<CGlobalDomainConfig> {
 public:
  // Stores the default server domains; refuses (false) a second list with no non-empty domain.
  bool SetDefaultSrvDomain(const std::vector<std::string>& first,
                           const std::vector<std::string>& second);

 private:
  friend class CSingleton<CGlobalDomainConfig>;
  CGlobalDomainConfig();
};
