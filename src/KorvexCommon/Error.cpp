#include "KorvexCommon/Error.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "KorvexCommon/Decimal.h"
#include "KorvexCommon/MemoryQueries.h"
#include "MonitorNames.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbx/ProcessUtil.h"
#include "tbx/StringUtil.h"
#include "tbx/TimeUtil.h"
#include "tbx/ToolUtil.h"
#include "valko/Config.h"
#include "valko/ReportError.h"
#include "win32/Win32.h"

namespace {

const char kSource[] = "..\\KorvexCommon\\Error";
const size_t kRecordLineLimit = 1024;  // lines read from an existing record file
const uint64_t kMinimumFreeMb = 15;    // each free-memory figure must exceed this
const uint64_t kBytesPerMb = 1048576;

std::atomic<bool> g_errorRecordsEnabled{false};

// Serialises the read-modify-write of the record files. Ordinary writers wait for it; a crash
// hook running on a thread that was interrupted inside a write must not, as that thread holds
// it and will never release it: such a nested call writes without the lock, which is safe
// because the interrupted write never resumes and files are only ever replaced whole.
class RecordWriteGuard {
 public:
  RecordWriteGuard() {
    if (t_holdsLock) {
      return;  // nested call from the crash hook on the owning thread
    }
    // A holder that does not let go within the bound is stuck (a hung disk, or a crashed
    // thread whose hook is ending the process); writing beats waiting for ever. The bound is
    // on the system clock: the steady clock's timed lock (pthread_mutex_clocklock) is invisible
    // to the thread sanitizer, which would then miss this lock altogether.
    locked_ = Mutex().try_lock_until(std::chrono::system_clock::now() + kMaxWait);
    if (!locked_) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                            "error record lock busy, write without it");
      return;
    }
    t_holdsLock = true;
  }

  ~RecordWriteGuard() {
    if (locked_) {
      t_holdsLock = false;
      Mutex().unlock();
    }
  }

 private:
  RecordWriteGuard(const RecordWriteGuard&) = delete;
  RecordWriteGuard& operator=(const RecordWriteGuard&) = delete;

  static constexpr std::chrono::seconds kMaxWait{10};

  // Never destroyed, so writers during process exit still find it.
  static std::timed_mutex& Mutex() {
    static std::timed_mutex* mutex = new std::timed_mutex();
    return *mutex;
  }

  static thread_local bool t_holdsLock;  // this thread is between lock and unlock
  bool locked_ = false;                  // this guard took the lock and must release it
};

thread_local bool RecordWriteGuard::t_holdsLock = false;

std::string BuildRecordLine(const std::string& message) {
  std::string line = tbx::CTimeUtil::GetCurrentDataTime().ToString("%Y-%m-%d %H:%M:%S");
  line += " [";
  line += tbx::CStringUtil::to_string(tbx::GetProcessUtil()->GetCurrentProcessId());
  line += "] ";
  line += message;
  return line;
}

// The two newest earlier lines, then the record; "\n" between lines, none after the last.
std::string BuildRecordContent(const std::vector<std::string>& lines, const std::string& record) {
  std::string content;
  if (lines.size() > 1) {
    content += lines[lines.size() - 2];
    content += "\n";
  }
  if (!lines.empty()) {
    content += lines.back();
    content += "\n";
  }
  content += record;
  return content;
}

const char* DumpKindSuffix(DumpKind kind) {
  switch (kind) {
    case DumpKind::Cpu:
      return "_cpu";
    case DumpKind::Mem:
      return "_mem";
    case DumpKind::ThreadHang:
      return "_threadHang";
    case DumpKind::MaxFd:
      return "_maxFd";
    case DumpKind::Crash:
      break;
  }
  return "";
}

// The crash hook, owned by the process-wide CError below.
tbx::CAppError* g_crashHook = nullptr;

}  // namespace

void EnableErrorRecords(bool enable) {
  g_errorRecordsEnabled.store(enable);
}

void WriteErrorRecord(std::string fileName, std::string message) {
  if (!g_errorRecordsEnabled.load()) {
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "not write error info into file");
    return;
  }
  const std::string path = tbx::CToolUtil::GetApplicationDirPath() + "/" + fileName;
  const std::string record = BuildRecordLine(message);

  RecordWriteGuard guard;
  std::vector<std::string> lines;
  tbx::CFileUtil::ReadFileLineToList(path, lines, kRecordLineLimit);  // missing file: no lines
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "get vecLines size[%d]",
                        static_cast<int>(lines.size()));
  const std::string content = BuildRecordContent(lines, record);
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "get file [%s] info strContent:[%s]",
                        path.c_str(), content.c_str());
  tbx::CFileUtil::WriteNewFile(path, content, false);  // replaced whole, never half-written
}

std::string BuildDumpBasePath(DumpKind kind) {
  std::string path = tbx::CToolUtil::GetApplicationDirPath() + "/";
  CConfig* config = CSingleton<CConfig>::GetInstance();
  if (config == nullptr) {
    return path + "CConfig Null";
  }
  std::string version;
  config->GetClientVersion(version);
  std::string address;
  if (!config->GetIdentityIp(address)) {
    address = "0.0.0.0";
  }
  path += version + "-" + address + "-";

  const tbx::CTimeUtil now = tbx::CTimeUtil::GetCurrentDataTime();
  path += Decimal(now.GetYear()) + "_" + Decimal(now.GetMonth()) + "_" +
          Decimal(now.GetDayOfMonth()) + "_" + Decimal(now.GetHour()) + "_" +
          Decimal(now.GetMinute()) + "_" + Decimal(now.GetSecond());
  path += DumpKindSuffix(kind);
  return path;
}

bool IsMemoryEnough() {
  return IsMemoryEnough(MemoryQueries::System());
}

bool IsMemoryEnough(const MemoryQueries& queries) {
  MEMORYSTATUSEX status;
  std::memset(&status, 0, sizeof(status));
  status.dwLength = sizeof(status);
  queries.globalMemoryStatusEx(&status);
  const uint64_t physicalMb = status.ullAvailPhys / kBytesPerMb;
  const uint64_t virtualMb = status.ullAvailVirtual / kBytesPerMb;
  const uint64_t pageFileMb = status.ullAvailPageFile / kBytesPerMb;

  PERFORMANCE_INFORMATION performance;
  std::memset(&performance, 0, sizeof(performance));
  performance.cb = sizeof(performance);
  queries.getPerformanceInfo(&performance, sizeof(performance));
  // Pages of 4 KB to MB, in the 32-bit unsigned arithmetic the figures are kept in.
  const uint32_t commitLimitMb = static_cast<uint32_t>(performance.CommitLimit) * 4u / 1024u;
  const uint32_t commitTotalMb = static_cast<uint32_t>(performance.CommitTotal) * 4u / 1024u;
  const uint32_t freeCommitMb = commitLimitMb - commitTotalMb;

  if (physicalMb > kMinimumFreeMb && virtualMb > kMinimumFreeMb && pageFileMb > kMinimumFreeMb &&
      freeCommitMb > kMinimumFreeMb) {
    return true;
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                        "valid physical mem is %lluM, valid virtual mem is %lluM, valid page file "
                        "is %lluM, valid commit mem is %uM",
                        static_cast<unsigned long long>(physicalMb),
                        static_cast<unsigned long long>(virtualMb),
                        static_cast<unsigned long long>(pageFileMb), freeCommitMb);
  return false;
}

void DumpAndExit(DumpKind kind) {
  const std::string path = BuildDumpBasePath(kind) + ".dmp";
  tbx::CAppError::CreateErrorDump(path, -1);
  CReportError::SendDumpFile(path, "");
  tbx::CFileUtil::RemoveFile(path);
  tbx::CToolUtil::Terminate();
}

void CleanupErrorDumps() {
  std::vector<std::string> paths;
  tbx::CDirUtil::GetChildFilePath(tbx::CToolUtil::GetApplicationDirPath(), paths);
  for (const std::string& path : paths) {
    if (tbx::CStringUtil::stringEndWith(path, "-Error.dmp", true)) {
      tbx::CFileUtil::RemoveFile(path);
    }
  }
}

CError::CError() {
  g_crashHook = new (std::nothrow) tbx::CAppError(this);
}

CError::~CError() {
  delete g_crashHook;
  g_crashHook = nullptr;
}

std::string CError::GetDumpFilePath() {
  return BuildDumpBasePath(DumpKind::Crash) + "-Error.dmp";
}

void CError::OnError(const std::string& dumpPath, int64_t exceptionCode, int32_t dumpResult,
                     int32_t /*reserved*/) {
  const int memoryEnough = IsMemoryEnough() ? 1 : 0;
  const std::string information = tbx::CStringUtil::strprintf(
      "exception code : %s, dump error : %d, mem is enough : %d",
      tbx::CStringUtil::IntToString(exceptionCode, nullptr, 16).c_str(), dumpResult, memoryEnough);
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__,
                        "OnError:%s, dump error: %d, mem is enough : %d", dumpPath.c_str(),
                        dumpResult, memoryEnough);
  const std::string backTrace = tbx::CAppError::GetBackTrace();
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "BackTrace:\n%s", backTrace.c_str());

  CReportError::SendCrashInfo(information, backTrace, true);
  CReportError::SendDumpFile(dumpPath, "");
  tbx::CFileUtil::RemoveFile(dumpPath);
  WriteErrorRecord(kErrorRecordFileName, "exception crash");
  CleanupErrorDumps();
  tbx::CToolUtil::Terminate();
}

// The one CError: constructed during static initialisation, so the crash hook is in place
// before main runs. It shares this file with EnableErrorRecords, which start-up calls first,
// so a static-library link always keeps it.
static CError g_crashHandler;
