#include "IpcClient/IpcProtocolHandlerThread.h"

#include <iterator>
#include <utility>
#include <vector>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "IpcClient/DropWarning.h"
#include "IpcClient/QueueLimit.h"
#include "IpcClient/ReceivedJson.h"
#include "KorvexCommon/WallClock.h"
#include "tbx/LogMessage.h"

namespace {

const char kLogSource[] = "IpcClient\\IpcProtocolHandlerThread";
const char kThreadName[] = "Protocol";
const char kDropCounter[] = "korvexmonitor_drop_recv_ipc_msg";

constexpr uint32_t kCycleMilliseconds = 100;    // sleep at the start of every cycle
constexpr uint64_t kLivenessEveryCycles = 300;  // idle liveness report period, in cycles
constexpr uint32_t kLivenessTimeoutSeconds = 1800;

}  // namespace

CIpcProtocolHandlerThread::CIpcProtocolHandlerThread(IIpcClientPlatform& platform)
    : platform_(platform),
      quietTypes_{"T_MSG_FILE_GET", "T_MSG_PLUGIN_HEARTS_ACK", "T_MSG_IPC_NETWORK_NOTIFY"} {
  if (!IsThreadRunning()) {
    startThread();
  }
}

CIpcProtocolHandlerThread::~CIpcProtocolHandlerThread() {
  stop_ = true;
  waitForThreadFinish();
}

void CIpcProtocolHandlerThread::PushMessage(const std::string& text) {
  const int64_t limit = QueueLimitInForce();
  {
    tbx::CMutexLockUtil hold(queueLock_);
    if (static_cast<int64_t>(queue_.size()) < limit) {
      queue_.push_back(text);
      return;
    }
  }
  const uint64_t drops = platform_.AddExceptonInfo(kDropCounter, 1, true, true);
  WarnOfDrop(kLogSource, __LINE__, "network drop recv message count", drops);
}

bool CIpcProtocolHandlerThread::RegisterProtocolHandler(const std::string& type,
                                                        IProtocolHandler* handler) {
  if (type.empty() || handler == nullptr) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> hold(registryLock_);
  if (!IsRegisteredLocked(type, handler)) {
    // Equal keys go after the existing ones, which keeps each type in registration order.
    registry_.emplace(type, handler);
  }
  return true;
}

bool CIpcProtocolHandlerThread::UnRegisterProtocolHandler(const std::string& type,
                                                          IProtocolHandler* handler) {
  if (type.empty() || handler == nullptr) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> hold(registryLock_);
  auto range = registry_.equal_range(type);
  for (auto it = range.first; it != range.second;) {
    it = (it->second == handler) ? registry_.erase(it) : std::next(it);
  }
  return true;
}

bool CIpcProtocolHandlerThread::DispatchProtocol(const std::string& type, const std::string& data) {
  std::lock_guard<std::recursive_mutex> hold(registryLock_);
  auto range = registry_.equal_range(type);
  if (range.first == range.second) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "ProtocolHandler Find NULL : %s",
                          type.c_str());
    return false;
  }
  // A handler may change the registry from inside Handle, which would invalidate iterators:
  // walk a copy, and skip an entry that an earlier handler of this dispatch has removed.
  std::vector<IProtocolHandler*> handlers;
  for (auto it = range.first; it != range.second; ++it) {
    handlers.push_back(it->second);
  }
  bool called = false;
  for (IProtocolHandler* handler : handlers) {
    if (handler == nullptr || !IsRegisteredLocked(type, handler)) {
      continue;
    }
    handler->Handle(data);
    called = true;
  }
  return called;
}

uint32_t CIpcProtocolHandlerThread::TakeLongHandleCount() {
  tbx::CMutexLockUtil hold(counterLock_);
  const uint32_t count = longHandleCount_;
  longHandleCount_ = 0;
  return count;
}

bool CIpcProtocolHandlerThread::Deserialize(const std::string& text, std::string& type,
                                            std::string& data) {
  if (text.empty()) {
    return false;
  }
  rapidjson::Document document;
  if (!ParseReceivedJson(text, &document) || !document.IsObject()) {
    return false;
  }
  auto typeMember = document.FindMember("type");
  if (typeMember != document.MemberEnd() && typeMember->value.IsString()) {
    type.assign(typeMember->value.GetString(), typeMember->value.GetStringLength());
  }
  auto dataMember = document.FindMember("data");
  if (dataMember == document.MemberEnd()) {
    return false;
  }
  const rapidjson::Value& value = dataMember->value;
  if (value.IsObject()) {
    // The writer recurses once per level; the parse bound keeps that shallow.
    rapidjson::StringBuffer buffer(nullptr, 256);
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer, nullptr, 32);
    if (!value.Accept(writer)) {
      return false;
    }
    data.assign(buffer.GetString(), buffer.GetSize());
    return true;
  }
  if (value.IsString()) {
    data.assign(value.GetString(), value.GetStringLength());
    return true;
  }
  return false;
}

void CIpcProtocolHandlerThread::run() {
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__,
                        "CProtocolHandlerThread::run Enter");
  tbx::CThreadUtil::SetThreadName(kThreadName);
  const uint32_t threadId = static_cast<uint32_t>(tbx::CThreadUtil::GetCurrentThreadId());
  uint64_t cycle = 0;
  while (!stop_) {
    platform_.Sleep(tbx::CThreadUtil::GetSleepRatio() * kCycleMilliseconds);
    if (cycle % kLivenessEveryCycles == 0) {
      ReportLiveness(threadId);
    }
    ++cycle;

    std::string text;
    if (!TakeNextText(&text)) {
      continue;
    }
    std::string type;
    std::string data;
    if (!Deserialize(text, type, data)) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__,
                            "CProtocol::Deserialize Fail : %s", type.c_str());
      continue;
    }
    if (quietTypes_.count(type) == 0) {
      tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "GetMessage : %s",
                            type.c_str());
    }
    const int64_t started = CWallClock::NowSeconds();
    DispatchProtocol(type, data);
    const int64_t interval = CWallClock::NowSeconds() - started;
    // A clock set back gives a negative interval, which counts as short.
    if (interval > kLongHandleSeconds) {
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__,
                            "over time ipc handle, strMsgType[%s] interval[%lld]", type.c_str(),
                            static_cast<long long>(interval));
      tbx::CMutexLockUtil hold(counterLock_);
      ++longHandleCount_;
    }
    ReportLiveness(threadId);
  }
}

bool CIpcProtocolHandlerThread::IsRegisteredLocked(const std::string& type,
                                                   IProtocolHandler* handler) const {
  auto range = registry_.equal_range(type);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == handler) {
      return true;
    }
  }
  return false;
}

bool CIpcProtocolHandlerThread::TakeNextText(std::string* text) {
  tbx::CMutexLockUtil hold(queueLock_);
  if (queue_.empty()) {
    return false;
  }
  *text = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

void CIpcProtocolHandlerThread::ReportLiveness(uint32_t threadId) const {
  platform_.SetThreadHeartbeat(threadId, kThreadName, kLivenessTimeoutSeconds);
}
