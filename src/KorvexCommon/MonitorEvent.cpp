#include "KorvexCommon/MonitorEvent.h"

#include <json/json.h>

#include <exception>

#include "KorvexCommon/Decimal.h"
#include "KorvexCommon/Error.h"
#include "KorvexCommon/WallClock.h"
#include "MonitorNames.h"
#include "tbx/LogMessage.h"
#include "tbx/ProcessUtil.h"
#include "tbx/StringUtil.h"
#include "tbx/SystemInfo.h"
#include "tbx/ThreadUtil.h"
#include "tbx/TimerEvent.h"
#include "tbx/ToolUtil.h"
#include "valko/Config.h"
#include "valko/Monitor.h"
#include "valko/MsgTransmitProxy.h"
#include "valko/ReportError.h"
#include "valko/ValkoCommon.h"

namespace {

const char kSource[] = "..\\KorvexCommon\\MonitorEvent";
const uint32_t kLastLogBytes = 15360;
const uint32_t kCpuReportPauseMs = 2000;  // lets the report leave before the log is sent
const uint32_t kHighIoSpacingSeconds = 14400;
const uint32_t kFdDumpWindowSeconds = 86400;
const uint32_t kFdDumpsPerWindow = 5;

// Calendar seconds cut to 32 bits; differences of two such values are taken unsigned.
uint32_t NowSeconds() {
  return static_cast<uint32_t>(CWallClock::NowSeconds());
}

// The high-I/O figures with the memory situation, as JsonCpp's styled text.
std::string BuildHighIoData(const IoRecord& record) {
  Json::Value data(Json::objectValue);
  data["rio_max"] = record.rio_max;
  data["wio_max"] = record.wio_max;
  data["rio"] = record.rio;
  data["wio"] = record.wio;
  uint64_t availableMemory = 0;
  data["mem_usage"] = tbx::COSInfo::GetMemoryUsage(availableMemory);
  data["available_mem"] = Json::UInt64(availableMemory);
  return Json::StyledWriter().write(data);
}

}  // namespace

void LogCurrentTimerInfo() {
  tbx::CLogMessage::WriteLogMessage(tbx::CTimerLoop::GetCurrentTimerInfo(), tbx::TBX_LOG_INFO);
}

CMonitorEvent::CMonitorEvent(const std::string& ownerName)
    : fdDumpCount(0),
      fdWindowStart(0),
      lastHighIoTime(0),
      writeErrorRecord(false),
      errorRecordFile("DefaultError.data"),
      ownerName(ownerName) {}

CMonitorEvent::~CMonitorEvent() {}

void CMonitorEvent::SetWriteErrorRecord(bool enable) {
  writeErrorRecord = enable;
}

void CMonitorEvent::SetErrorRecordFile(std::string fileName) {
  errorRecordFile = std::move(fileName);
}

void CMonitorEvent::OnCpuMax(int64_t cpuPercent, int64_t threadId) {
  LogCurrentTimerInfo();
  std::string threadName;
  if (threadId > 0) {
    threadName = tbx::CThreadUtil::GetThreadName(threadId);
  }
  if (writeErrorRecord) {
    WriteErrorRecord(errorRecordFile, "Monitor High Cpu");
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__,
                        "OnCpuMax : %lld, high cpu thread is %s",
                        static_cast<long long>(cpuPercent), threadName.c_str());
  const std::string text = threadName + ":" + Decimal(threadId) + " cpu_max:" + Decimal(cpuPercent);
  CReportError::SendKillSelfInfo(text, CReportError::KILL_SELF_CPU);
  tbx::CToolUtil::msleep(kCpuReportPauseMs);
  CReportError::SendLastLog(kLastLogBytes);
  tbx::CToolUtil::Terminate();
}

void CMonitorEvent::OnMemoryMax(int32_t memoryMb) {
  LogCurrentTimerInfo();
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "OnMemoryMax %d", memoryMb);
  CReportError::SendKillSelfInfo("memory_max:" + Decimal(memoryMb), CReportError::KILL_SELF_MEMORY);
  CReportError::SendLastLog(kLastLogBytes);
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, " get error [%s] [%d]",
                        errorRecordFile.c_str(), writeErrorRecord ? 1 : 0);
  if (writeErrorRecord) {
    WriteErrorRecord(errorRecordFile, "Monitor High Mem");
  }
  tbx::CToolUtil::Terminate();
}

void CMonitorEvent::OnHighIO(IoRecord record) {
  const uint32_t now = NowSeconds();
  if (lastHighIoTime != 0 && now - lastHighIoTime < kHighIoSpacingSeconds) {
    return;
  }
  lastHighIoTime = now;
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "OnHighIO %d, %d", record.rio_max,
                        record.wio_max);
  if (ownerName == kAgentComponentName) {
    SendHighIoMessage(record);
    return;
  }
  const std::string text = "rio_max:" + Decimal(record.rio_max) +
                           " wio_max:" + Decimal(record.wio_max) + " rio:" + Decimal(record.rio) +
                           " wio:" + Decimal(record.wio);
  CReportError::SendKillSelfInfo(text, CReportError::KILL_SELF_HIGH_IO);
  CReportError::SendLastLog(kLastLogBytes);
}

void CMonitorEvent::SendHighIoMessage(const IoRecord& record) {
  std::string data;
  try {
    data = BuildHighIoData(record);
  } catch (const std::exception& error) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__, "build high io data fail: %s",
                          error.what());
    return;
  }
  // The transmit interface exists once start-up has wired the proxy; an event before that has
  // nobody to go to.
  IMsgTransmitInterface* transmit = GetMsgTransmitInstance();
  if (transmit == nullptr) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kSource, __LINE__,
                          "no msg transmit instance, T_MSG_OS_ABNORMAL not sent");
    return;
  }
  transmit->SendMsg("T_MSG_OS_ABNORMAL", data, "", 1, false);
}

void CMonitorEvent::OnMaxFd(int32_t handleCount) {
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kSource, __LINE__, "OnMaxFd %d", handleCount);
  CReportError::SendKillSelfInfo("fd_max:" + Decimal(handleCount), CReportError::KILL_SELF_MAX_FD);
  const uint32_t now = NowSeconds();
  if (fdWindowStart == 0 || now - fdWindowStart > kFdDumpWindowSeconds) {
    fdDumpCount = 0;
    fdWindowStart = now;
  }
  if (fdDumpCount < kFdDumpsPerWindow) {
    ++fdDumpCount;
    DumpAndExit(DumpKind::MaxFd);
  }
  if (writeErrorRecord) {
    WriteErrorRecord(errorRecordFile, "Monitor Max Fd");
  }
  tbx::CToolUtil::Terminate();
}

void CMonitorEvent::OnThreadHang(const std::string& description) {
  LogCurrentTimerInfo();
  tbx::CLogMessage::WriteLogMessage(description, tbx::TBX_LOG_INFO);

  const uint64_t processId = tbx::GetProcessUtil()->GetCurrentProcessId();
  const std::string processStack = tbx::CValkoStack::GetValkoStack(static_cast<int64_t>(processId));
  const std::string programName =
      tbx::CStringUtil::stringRemove(tbx::CToolUtil::GetApplicationFileName(), ".exe");
  std::string version;
  if (CConfig* config = CSingleton<CConfig>::GetInstance()) {
    config->GetClientVersion(version);
  }
  std::string threads;
  if (CMonitor* monitor = CSingleton<CMonitor>::GetInstance()) {
    uint32_t count = 0;
    monitor->GetThreadsInfo(threads, count);
    threads = tbx::CStringUtil::stringTrimmed(threads);
  }
  const std::string stack = threads + "\n" + processStack;

  CReportError::SendKillSelfInfo(description, CReportError::KILL_SELF_THREAD_HANG, programName,
                                 version, stack);
  DumpAndExit(DumpKind::ThreadHang);
}
