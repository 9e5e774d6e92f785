#include "KorvexMonitorServiceWork.h"

#include <string>

#include "BuildStamp.h"
#include "IpcClient/IpcClientMonitor.h"
#include "IpcClient/MsgTransmitProxySingleton.h"
#include "KorvexCommon/Decimal.h"
#include "KorvexCommon/Error.h"
#include "KorvexCommon/KorvexMonitorHeartbeat.h"
#include "MonitorNames.h"
#include "NetworkConfig.h"
#include "tbx/Tbx.h"
#include "valko/Config.h"
#include "valko/FileQuara.h"
#include "valko/FileSender.h"
#include "valko/FileWatch.h"
#include "valko/ModuleManager.h"
#include "valko/Monitor.h"
#include "valko/MsgTransmitProxy.h"
#include "valko/MtIntf.h"
#include "valko/ProcMng.h"
#include "valko/ValkoCommon.h"
#include "valko/ValkoControl.h"
#include "valko/WhiteList.h"
#include "win32/Win32.h"

namespace {

const char kSource[] = "KorvexMonitorServiceWork";
const char kLogDirName[] = "korvex_monitor_log";
const uint64_t kLogFileSizeBytes = 5242880;
const uint32_t kPidRetryDelayMs = 300;

// The end of every fatal step: the error record tells what ended the process. Used alone before
// the logger exists, when only the record can tell.
[[noreturn]] void EndWithRecord(const std::string& record) {
  WriteErrorRecord(kErrorRecordFileName, record);
  tbx::CToolUtil::Terminate();
}

// Fatal once the logger exists: logged, recorded, then the process ends.
[[noreturn]] void FailFatal(const std::string& message) {
  tbx::CLogMessage::WriteLogMessage(message, tbx::TBX_LOG_ERROR);
  EndWithRecord(message);
}

// Not fatal: the failure is logged, at the error level like the fatal ones, and start-up goes on.
void FailAndGoOn(const std::string& message) {
  tbx::CLogMessage::WriteLogMessage(message, tbx::TBX_LOG_ERROR);
}

// Writes the process id alone into the pid file, with one retry after a short pause; only a
// second failure is logged.
void WritePidFile(const std::string& path, uint64_t processId) {
  const std::string content = Decimal(static_cast<int64_t>(processId));
  if (tbx::CFileUtil::WriteNewFile(path, content, false)) {
    return;
  }
  tbx::CToolUtil::msleep(kPidRetryDelayMs);
  if (!tbx::CFileUtil::WriteNewFile(path, content, false)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "WritePidFile Fail, error is %u",
                          tbx::CToolUtil::GetLastErrorCode());
  }
}

// Creates a component with a creation and an Init; false when either fails.
template <class T>
bool CreateAndInit() {
  T* component = CSingleton<T>::NewInstance();
  return component != nullptr && component->Init();
}

}  // namespace

CKorvexMonitorServiceWork::CKorvexMonitorServiceWork() : monitorEvent_(kMonitorComponentName) {}

int CKorvexMonitorServiceWork::OnStart() {
  // The record gate, the clock and the logger first: every later step reports through them.
  OpenRecordsAndLog();
  // The application directory, the process id and the pid file path that later steps use.
  const std::string appDir = tbx::CToolUtil::GetApplicationDirPath();
  const uint64_t processId = tbx::GetProcessUtil()->GetCurrentProcessId();
  const std::string pidFile =
      appDir.empty() ? std::string("./monitor_pid.txt") : appDir + "/monitor_pid.txt";
  // Process-wide services and limits before any component that relies on them exists.
  TuneProcess();
  // Maintenance and the configuration before the components that count into or read them.
  CConfig* config = StartMaintenanceAndConfiguration();
  // The agent's common library gets its root before anything asks it for paths or domains.
  StartAgentCommon(appDir);
  // The resource monitor before the IPC client, whose threads report their liveness to it;
  // the transmit path before maintenance, which starts with it.
  CMonitor* monitor = StartTransmitPath();
  // Resource watching once the transmit path exists to carry its events.
  StartResourceWatch(monitor, appDir);
  // The banner and the pid file once the core of the process is up and watched.
  AnnounceStart(config, pidFile, processId);
  // The file components before the modules, which may use them; only the file sender is vital.
  StartFileComponents();
  // What the modules use, and the directory check that ends a stray monitor, before they load.
  CModuleManager* modules = PrepareForModules();
  // The modules load on all of the above; the records around the load show one never ending.
  LoadModules(modules, appDir);
  // Connected once the modules are loaded, so the agent's first messages find their handlers.
  ConnectToAgent();
  // Last, the signs that the monitor is up (the run file, the heartbeat); then old dumps go.
  FinishStart();
  return 0;
}

void CKorvexMonitorServiceWork::OpenRecordsAndLog() {
  EnableErrorRecords(true);
  if (CSingleton<tbx::CGetTickClock>::NewInstance() == nullptr) {
    EndWithRecord("CGetTickClock::NewInstance Null");
  }
  tbx::CThreadUtil::InitThreadRandom();
  tbx::CTimeUtil::UpdateDstFlag();

  tbx::CLogMessage::SetLogDirName(kLogDirName);
  tbx::CLogMessage* logger = tbx::CLogMessage::GetInstance();
  if (logger == nullptr) {
    EndWithRecord("CLogMessage::GetInstance Null");
  }
  logger->SetLogFileSize(kLogFileSizeBytes);
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "On Start Monitor...");
}

void CKorvexMonitorServiceWork::TuneProcess() {
  tbx::NewOpensslInterface();
  if (!SetPriorityClass(GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__, "Set Cpu Priority Fail:%d",
                          static_cast<int>(GetLastError()));
  }
  tbx::GetResourceLimitUtil("valkoMonitor");
}

CConfig* CKorvexMonitorServiceWork::StartMaintenanceAndConfiguration() {
  if (!CMtIntf::Init()) {
    FailFatal("Failed to Init maintenance");
  }
  CConfig* config = CSingleton<CConfig>::NewInstance();
  if (config == nullptr) {
    FailFatal("CConfig::NewInstance Null");
  }
  if (CSingleton<COnlineClientConf>::NewInstance() == nullptr) {
    FailFatal("COnlineClientConf::NewInstance Null");
  }
  return config;
}

void CKorvexMonitorServiceWork::StartAgentCommon(const std::string& appDir) {
  tbx::CDirCom rootDir(appDir);
  rootDir.cd("../../");
  const std::string agentRoot = rootDir.absolutePath();
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "Valko root path is %s",
                        agentRoot.c_str());
  tbx::InitValkoCommon(agentRoot);

  if (!LoadNetworkConfig()) {
    FailAndGoOn("load network_config fail");
  }
  if (IHttpInstance* http = GetHttpInstance()) {
    http->SetCertFilePath(appDir + "/rule/" + "valko.crt");
  }
}

CMonitor* CKorvexMonitorServiceWork::StartTransmitPath() {
  CMonitor* monitor = CSingleton<CMonitor>::NewInstance();
  if (monitor == nullptr) {
    FailFatal("CMonitor::NewInstance Null");
  }
  if (!CreateIpcClientAndProxy()) {
    FailFatal("create ipc client fail");
  }
  CValkoControl* control = CSingleton<CValkoControl>::NewInstance();
  if (control == nullptr ||
      !CSingleton<CValkoControl>::GetInstance()->Init(kMonitorComponentName)) {
    FailFatal("CValkoControl::NewInstance Null");
  }
  if (!CMtIntf::Start(GetMsgTransmitInstance(), kMonitorComponentName)) {
    FailFatal("Failed to start maintenance");
  }
  return monitor;
}

void CKorvexMonitorServiceWork::StartResourceWatch(CMonitor* monitor, const std::string& appDir) {
  tbx::CSleepUtil::EnableSleep(3000, 10);
  monitor->SetConfigPath(appDir + "/conf/monitor_resource_config");
  monitorEvent_.SetWriteErrorRecord(true);
  monitorEvent_.SetErrorRecordFile(kErrorRecordFileName);
  if (!monitor->StartMonitor(&monitorEvent_, kMonitorComponentName)) {
    FailFatal("CMonitor StartMonitor Fail");
  }
}

void CKorvexMonitorServiceWork::AnnounceStart(CConfig* config, const std::string& pidFile,
                                              uint64_t processId) {
  std::string clientVersion;
  config->GetClientVersion(clientVersion);
  config->LoadMachineUuidFromFile();
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__,
                        "====================Start KorvexMonitor : %s,%s %s====================",
                        clientVersion.c_str(), BuildDate(), BuildTime());
  WritePidFile(pidFile, processId);
}

void CKorvexMonitorServiceWork::StartFileComponents() {
  CFileSender* fileSender = CSingleton<CFileSender>::NewInstance();
  if (fileSender == nullptr) {
    FailFatal("CFileSender::NewInstance Null");
  }
  if (!CSingleton<CFileSender>::GetInstance()->Init()) {
    FailFatal("CFileSender Init Fail");
  }
  if (!CreateAndInit<CWhiteList>()) {
    FailAndGoOn("WhiteList Init Fail.");
  }
  if (!CreateAndInit<CFileQuara>()) {
    FailAndGoOn("FileQuara Init Fail.");
  }
  if (!CreateAndInit<CFileWatch>()) {
    FailAndGoOn("CFileWatch Init Fail");
  }
}

CModuleManager* CKorvexMonitorServiceWork::PrepareForModules() {
  if (!CProcMng::Init()) {
    FailFatal("CProcMng::Init Failed");
  }
  CModuleManager* modules = CSingleton<CModuleManager>::NewInstance();
  if (modules == nullptr) {
    FailFatal("CModuleManager Null.");
  }
  if (!versionMonitor_.Start(kMonitorComponentName)) {
    FailFatal("start to monitor korvex and monitor version fail");
  }
  if (!GetMsgTransmitInstance()->InitClient()) {
    FailFatal("init ipc fail");
  }
  return modules;
}

void CKorvexMonitorServiceWork::LoadModules(CModuleManager* modules, const std::string& appDir) {
  modules->SetConfigPath(appDir + "/conf/monitor_module_config");
  WriteErrorRecord(kErrorRecordFileName, "LoadModule Start");
  if (!modules->LoadModule()) {
    FailFatal("LoadModule Fail");
  }
  WriteErrorRecord(kErrorRecordFileName, "LoadModule End");
}

void CKorvexMonitorServiceWork::ConnectToAgent() {
  // A refused first connection is the connection monitor's to retry.
  GetMsgTransmitInstance()->Connect();

  if (CSingleton<CIpcClientMonitor>::NewInstance() == nullptr ||
      !CSingleton<CIpcClientMonitor>::GetInstance()->Start()) {
    const DWORD code = GetLastError();
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kSource, __LINE__,
                          "CIpcClientMonitor::NewInstance Null:%d", static_cast<int>(code));
    EndWithRecord("KorvexMonitor IpcClientMonitor::NewInstance Null: " +
                  tbx::CStringUtil::UIntToString(code, nullptr, 10));
  }
}

void CKorvexMonitorServiceWork::FinishStart() {
  tbx::CThreadUtil::SetThreadName("main");
  tbx::CToolUtil::CreateRunFile();
  if (CSingleton<CKorvexMonitorHeartbeat>::NewInstance() == nullptr) {
    FailFatal("create instance CKorvexMonitorHeartbeat fail");
  }
  CleanupErrorDumps();
}
