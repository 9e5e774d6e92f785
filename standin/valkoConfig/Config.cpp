#include "valko/Config.h"

#include <fstream>
#include <mutex>

#include "ConfigTestSeams.h"
#include "IdentityAddress.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"
#include "valkoCommon/SingletonHome.h"
#include "valkoCommon/StandinFailure.h"

VALKO_SINGLETON_HOME(CConfig)

namespace {

// The first line of <application dir>/<relativePath>, trimmed; false when the file cannot be
// opened or that line is empty.
bool ReadFirstLine(const std::string& relativePath, std::string& line) {
  line.clear();
  std::ifstream in(tbx::CToolUtil::GetApplicationDirPath() + relativePath);
  if (!in) {
    return false;
  }
  std::string raw;
  std::getline(in, raw);
  line = tbx::CStringUtil::stringTrimmed(raw);
  return !line.empty();
}

// The one instance's machine identifier: the first line of conf/machine_uuid, trimmed.
std::mutex g_machineUuidMutex;
std::string g_machineUuid;  // guarded by g_machineUuidMutex

}  // namespace

VALKO_STANDIN_CREATION(CConfig)

CConfig::CConfig() {
  std::lock_guard<std::mutex> hold(g_machineUuidMutex);
  g_machineUuid.clear();
}

bool CConfig::GetClientVersion(std::string& version) {
  return ReadFirstLine("/conf/version", version);
}

bool CConfig::GetIdentityIp(std::string& address) {
  return valko::standin::FirstIpv4Address(&address);
}

bool CConfig::LoadMachineUuidFromFile() {
  std::string uuid;
  if (!ReadFirstLine("/conf/machine_uuid", uuid)) {
    return false;
  }
  std::lock_guard<std::mutex> hold(g_machineUuidMutex);
  g_machineUuid = uuid;
  return true;
}

namespace valko::testing {

std::string LoadedMachineUuid() {
  std::lock_guard<std::mutex> hold(g_machineUuidMutex);
  return g_machineUuid;
}

}  // namespace valko::testing
