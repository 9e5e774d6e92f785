#include "KorvexCommon/MonitorKorvexAndMonitorVersion.h"

#include "MonitorNames.h"
#include "tbx/LogMessage.h"
#include "tbx/ProcessUtil.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"
#include "valko/ReportError.h"
#include "valko/ValkoCommon.h"

namespace {

const char kSource[] = "..\\KorvexCommon\\MonitorKorvexAndMonitorVersion";
const char kTimerName[] = "ver_monitor";
const uint32_t kCheckIntervalMs = 1800000;
const uint32_t kListLimit = 10;

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// True when `path` is `root` or lies below it: "/opt/valko2/x" is not under "/opt/valko".
bool IsUnderRoot(const std::string& path, const std::string& root) {
  if (!tbx::CStringUtil::stringStartWith(path, root, false)) {
    return false;
  }
  if (root.empty() || IsSeparator(root.back()) || path.size() == root.size()) {
    return true;
  }
  return IsSeparator(path[root.size()]);
}

void Report(const std::string& text) {
  CReportError::SendErrInfo(text, CReportError::ERR_NO_NONE);
}

}  // namespace

CMonitorKorvexAndMonitorVersion::CMonitorKorvexAndMonitorVersion() : timer_(*this) {}

bool CMonitorKorvexAndMonitorVersion::Start(const std::string& ownerName) {
  // A second start replaces the timer, so exactly one runs and the destructor can stop it.
  if (!timer_.Start(kCheckIntervalMs, tbx::CTimerEvent::StringToMagicNum(kTimerName))) {
    tbx::CLogMessage::WriteLogMessage("start timer fail for monitor korvex and monitor process",
                                      tbx::TBX_LOG_WARN);
    return false;
  }
  if (ownerName == kMonitorComponentName) {
    CheckAgentDirs();
  }
  return true;
}

void CMonitorKorvexAndMonitorVersion::OnTimer(uint64_t id) {
  if (id == timer_.Id()) {
    CheckAgentDirs();
  }
}

void CMonitorKorvexAndMonitorVersion::CheckAgentDirs() {
  const std::set<std::string> agentDirs = CollectProcessDirs(kAgentExecutableName);
  if (agentDirs.size() > 1) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__, "there are %d diff Korvex dir",
                          static_cast<int>(agentDirs.size()));
    Report(tbx::CStringUtil::UIntToString(agentDirs.size(), nullptr, 10) + " diff Korvex dir");
  } else {
    const std::set<std::string> monitorDirs = CollectProcessDirs(kMonitorExecutableName);
    if (monitorDirs.size() > 1) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                            "there are %d diff KorvexMonitor dir",
                            static_cast<int>(monitorDirs.size()));
      Report(tbx::CStringUtil::UIntToString(monitorDirs.size(), nullptr, 10) +
             " diff KorvexMonitor dir");
    } else if (agentDirs.size() == 1 && monitorDirs.size() == 1 &&
               *agentDirs.begin() != *monitorDirs.begin()) {
      tbx::CLogMessage::log(
          tbx::TBX_LOG_WARN, kSource, __LINE__,
          "Korvex dir is not same as KorvexMonitor, Korvex dir is %s, KorvexMonitor dir is %s",
          agentDirs.begin()->c_str(), monitorDirs.begin()->c_str());
      Report("Korvex dir is not same as KorvexMonitor");
    } else {
      return;  // one directory for both, or nothing to compare
    }
  }

  if (KillMonitorProcesses()) {
    tbx::CLogMessage::WriteLogMessage("kill KorvexMonitor success", tbx::TBX_LOG_INFO);
  } else {
    Report("kill KorvexMonitor fail when there are diff Korvex and KorvexMonitor");
  }
}

std::set<std::string> CMonitorKorvexAndMonitorVersion::CollectProcessDirs(
    const std::string& executableName) {
  std::set<std::string> dirs;
  tbx::CValkoPathInfo* pathInfo = CSingleton<tbx::CValkoPathInfo>::GetInstance();
  if (pathInfo == nullptr) {
    // Without the agent root no process can be placed under it.
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "valko path info not created, %s dir not collected",
                          executableName.c_str());
    return dirs;
  }
  const std::string root = pathInfo->GetValkoRootPath();
  tbx::IProcessUtil* processes = tbx::GetProcessUtil();
  for (uint64_t id : ListProcessIds(executableName)) {
    const std::string path = processes->GetProcessPath(id, 1, 0);
    const std::string dir = tbx::CToolUtil::GetFileDirPath(path);
    if (!dir.empty() && IsUnderRoot(path, root)) {
      dirs.insert(dir);
    }
  }
  return dirs;
}

std::vector<uint64_t> CMonitorKorvexAndMonitorVersion::ListProcessIds(
    const std::string& executableName) {
  return tbx::GetProcessUtil()->GetProcessIdsByName(executableName, kListLimit, 0);
}

bool CMonitorKorvexAndMonitorVersion::KillMonitorProcesses() {
  tbx::IProcessUtil* processes = tbx::GetProcessUtil();
  const uint64_t self = processes->GetCurrentProcessId();
  bool selfListed = false;
  auto terminate = [processes](uint64_t id) {
    if (processes->TerminateProcessById(id)) {
      return true;
    }
    tbx::CLogMessage::WriteLogMessage("kill KorvexMonitor fail", tbx::TBX_LOG_WARN);
    return false;
  };

  for (uint64_t id : ListProcessIds(kMonitorExecutableName)) {
    const std::string name = processes->GetProcessName(id, 0);
    if (!tbx::CStringUtil::stringStartWith(name, kMonitorExecutableName, true)) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                            "%d proc name is %s, it not start with KorvexMonitor",
                            static_cast<int>(static_cast<uint32_t>(id)), name.c_str());
      continue;
    }
    // Ending this process first would leave the monitors after it in the list running.
    if (id == self) {
      selfListed = true;
      continue;
    }
    if (!terminate(id)) {
      return false;
    }
  }
  return !selfListed || terminate(self);
}
