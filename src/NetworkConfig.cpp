#include "NetworkConfig.h"

// Used header-only and narrow-character only: no library to link, no wide-character converter.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <exception>
#include <string>
#include <vector>

#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"
#include "valko/ValkoCommon.h"

namespace {

const char kSource[] = "NetworkConfig";
const char kLoadFailure[] = "readConfig NetWorkConfigFilePath Fail";

// The raw "h_srv_domain" value of the unnamed section ("" when absent) in `value`; false when
// the file cannot be loaded. The parser may throw (out of memory on a huge file): that is a
// load failure too.
bool ReadDomainValue(const std::string& path, std::string& value) {
  try {
    CSimpleIniA ini(/*a_bIsUtf8=*/false, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false);
    if (ini.LoadFile(path.c_str()) < 0) {
      return false;
    }
    value = ini.GetValue("", "h_srv_domain", "");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool LoadNetworkConfig() {
  const std::string path = tbx::CToolUtil::GetApplicationDirPath() + "/conf/network_config";
  if (!tbx::CFileUtil::IsFile(path)) {
    return false;
  }
  std::string value;
  if (!ReadDomainValue(path, value)) {
    tbx::CLogMessage::WriteLogMessage(kLoadFailure, tbx::TBX_LOG_ERROR);
    return false;
  }
  const std::vector<std::string> domains = tbx::CStringUtil::stringSplit(value, "|", false);

  // The instance is created by the agent's common library during start-up; without it there
  // is nobody to hand the domains to.
  CGlobalDomainConfig* domainConfig = CSingleton<CGlobalDomainConfig>::GetInstance();
  if (domainConfig == nullptr) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__,
                          "global domain config not created, network_config not applied");
    return false;
  }
  return domainConfig->SetDefaultSrvDomain(std::vector<std::string>(), domains);
}
