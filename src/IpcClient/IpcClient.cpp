#include "IpcClient/IpcClient.h"

#include <cmath>
#include <exception>
#include <limits>

#include <json/json.h>

#include "BuildStamp.h"
#include "IpcClient/AgentIpcClientPlatform.h"
#include "IpcClient/DropWarning.h"
#include "MonitorNames.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"

// The executable is the one home of this singleton.
template class CSingleton<CIpcClient>;

namespace {

const char kLogSource[] = "IpcClient\\IpcClient";
const char kSendThreadName[] = "ipc_send";
const char kPullConf[] = "T_MSG_PULL_CONF";
const char kPullFileConf[] = "T_MSG_PULL_FILE_CONF";

constexpr uint32_t kIdlePollMilliseconds = 10;    // between looks at a lost connection
constexpr uint32_t kPairPauseMilliseconds = 5;    // after every odd-numbered message
constexpr uint32_t kSlowPauseMilliseconds = 10;   // after every message on a small machine
constexpr uint32_t kSlowPacingMaxVersion = 6100;  // system versions up to this are old
constexpr uint32_t kSlowPacingMaxProcessors = 2;  // ... and with this few processors, slow

// The library calls these on its own threads; after the tear-down began there is no client.
void ReceiveCallback(const char* data, int32_t length) {
  if (CIpcClient* client = CSingleton<CIpcClient>::GetInstance()) {
    client->OnReceive(data, length);
  }
}

void DisconnectedCallback() {
  if (CIpcClient* client = CSingleton<CIpcClient>::GetInstance()) {
    client->OnDisconnected();
  }
}

void ConnectedCallback(const std::string& initInfo) {
  if (CIpcClient* client = CSingleton<CIpcClient>::GetInstance()) {
    client->OnConnected(initInfo);
  }
}

// The value as a signed 32-bit integer when it is a whole number within that range, written
// as an integer or as a real; nothing for any other value.
std::optional<int32_t> WholeInt32(const Json::Value& value) {
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  switch (value.type()) {
    case Json::intValue: {
      const int64_t number = value.asInt64();
      if (number >= kMin && number <= kMax) {
        return static_cast<int32_t>(number);
      }
      return std::nullopt;
    }
    case Json::uintValue: {
      const uint64_t number = value.asUInt64();
      if (number <= static_cast<uint64_t>(kMax)) {
        return static_cast<int32_t>(number);
      }
      return std::nullopt;
    }
    case Json::realValue: {
      const double number = value.asDouble();
      if (std::isfinite(number) && std::trunc(number) == number &&
          number >= static_cast<double>(kMin) && number <= static_cast<double>(kMax)) {
        return static_cast<int32_t>(number);
      }
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

IpcMessage MakeMessage(const std::string& type, const std::string& data, const std::string& traceId,
                       const std::string& objId, int32_t priority, bool keepFlag, bool ipcOnly) {
  IpcMessage message;
  message.type = type;
  message.data = data;
  message.traceId = traceId;
  message.objId = objId;
  message.priority = priority;
  message.keepFlag = keepFlag;
  message.ipcOnly = ipcOnly;
  return message;
}

Json::Value ToJsonArray(const std::vector<std::string>& texts) {
  Json::Value array(Json::arrayValue);  // an empty list stays [], never null
  for (const std::string& text : texts) {
    array.append(text);
  }
  return array;
}

void AddUnlessZero(std::map<std::string, std::string>& info, const char* key,
                   const std::string& value) {
  if (value != "0") {
    info[key] = value;
  }
}

}  // namespace

CIpcClient::InitInfoVersion CIpcClient::ReadInitInfoVersion(const std::string& text) {
  InitInfoVersion result;
  if (text.empty()) {
    result.version = 0;
    return result;
  }
  Json::Value root;
  try {
    Json::Reader reader;  // comments allowed
    if (!reader.parse(text, root, false) || !root.isObject()) {
      result.malformed = true;
      return result;
    }
    if (root.isMember("version")) {
      result.version = WholeInt32(root["version"]);
    }
  } catch (const std::exception&) {
    // The reader refuses nesting beyond its stack limit by throwing.
    result.malformed = true;
    result.version.reset();
  }
  return result;
}

CIpcClient::CIpcClient() : CIpcClient(CAgentIpcClientPlatform::Instance()) {}

CIpcClient::CIpcClient(IIpcClientPlatform& platform)
    : platform_(platform), protocolHandlerThread_(platform) {}

CIpcClient::~CIpcClient() {
  // The agent libraries cannot be told to forget the client's reports: the process never
  // deletes its client, and a test that does removes them first.
  stopSending = true;
  // A send thread blocked in Pop on an empty list would never see the flag: one extra count
  // lets it return.
  sendList_.WakeConsumer();
  waitForThreadFinish();
  sendList_.DestroySemaphore();
  platform_.FreeIpcClient();
}

bool CIpcClient::InitClient() {
  return Initialise(kMonitorPluginName);
}

bool CIpcClient::Initialise(const std::string& clientName) {
  platform_.RegMtInfoCallback(this);
  platform_.AddMonitorPoint(this);

  IpcInitParam param{};
  param.size = sizeof(IpcInitParam);
  param.clientName = clientName.c_str();
  param.clientNameLength = static_cast<uint32_t>(clientName.size());
  param.onReceive = &ReceiveCallback;
  param.onDisconnected = &DisconnectedCallback;
  param.onConnected = &ConnectedCallback;
  param.reserved = 0;

  platform_.SetLogCallback(&CIpcClient::LogCallback);
  const int32_t state = platform_.InitIpcClient(&param);
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "Ipc init return state is %d",
                        state);
  if (state != 0) {
    return false;
  }
  if (!sendList_.InitSemaphore()) {
    return false;
  }
  if (!IsThreadRunning()) {
    startThread();
  }
  return true;
}

bool CIpcClient::RegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) {
  return protocolHandlerThread_.RegisterProtocolHandler(type, handler);
}

bool CIpcClient::UnRegisterProtocolHandler(const std::string& type, IProtocolHandler* handler) {
  return protocolHandlerThread_.UnRegisterProtocolHandler(type, handler);
}

bool CIpcClient::DispatchProtocol(const std::string& type, const std::string& data) {
  return protocolHandlerThread_.DispatchProtocol(type, data);
}

bool CIpcClient::IsConnected() {
  tbx::CMutexLockUtil hold(connectionLock_);
  return connected.load();
}

bool CIpcClient::Connect() {
  return ConnectServer();
}

bool CIpcClient::ConnectServer() {
  static const std::string kServerName = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
  static const std::string kFallbackServerName = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";
  int32_t state = platform_.ConnectIpcServer(kServerName);
  if (state != 0) {
    state = platform_.ConnectIpcServer(kFallbackServerName);
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__,
                        "Connect Korvex ipc server return state is %d", state);
  return state == 0;
}

bool CIpcClient::SendMsg(const std::string& type, const std::string& data,
                         const std::string& traceId, int32_t priority, bool keepFlag) {
  return EnqueueMessage(MakeMessage(type, data, traceId, "", priority, keepFlag, false));
}

bool CIpcClient::SendIpcOnlyMsg(int32_t, const std::string& type, const std::string& data,
                                const std::string& traceId, int32_t priority, bool keepFlag) {
  return EnqueueMessage(MakeMessage(type, data, traceId, "", priority, keepFlag, true));
}

bool CIpcClient::SendMsgWithObjId(const std::string& type, const std::string& data,
                                  const std::string& objId, const std::string& traceId,
                                  int32_t priority, bool keepFlag) {
  return EnqueueMessage(MakeMessage(type, data, traceId, objId, priority, keepFlag, false));
}

bool CIpcClient::NeedReconnect() {
  return !connected.load() && platform_.IsIpcClientNeedConnect();
}

void CIpcClient::OnReceive(const char* data, int32_t length) {
  if (data == nullptr || length < 0) {
    return;
  }
  protocolHandlerThread_.PushMessage(std::string(data, static_cast<size_t>(length)));
}

void CIpcClient::OnConnected(const std::string& initInfo) {
  ParseInitInfo(initInfo);
  bool wasConnected;
  {
    tbx::CMutexLockUtil hold(connectionLock_);
    wasConnected = connected.exchange(true);
  }
  if (wasConnected) {
    return;  // registration and the configuration requests happen once per connection
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "korvex connected");
  if (RegisterMessageTypes()) {
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "register ipc message success");
  } else {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "register ipc message fail");
  }
  if (!SendMsg(kPullConf, "{}", "", 0, false)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kLogSource, __LINE__, "fail to send %s", kPullConf);
    return;
  }
  if (!SendMsg(kPullFileConf, "{}", "", 0, false)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kLogSource, __LINE__, "fail to send %s",
                          kPullFileConf);
  }
}

void CIpcClient::OnDisconnected() {
  bool wasConnected;
  {
    tbx::CMutexLockUtil hold(connectionLock_);
    wasConnected = connected.exchange(false);
  }
  if (wasConnected) {
    tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "korvex disconnected.");
  }
}

void CIpcClient::LogCallback(const std::string& text) {
  tbx::CLogMessage::WriteLogMessage(text, tbx::TBX_LOG_INFO);
}

void CIpcClient::ParseInitInfo(const std::string& text) {
  if (text.empty()) {
    ipcVersion = 0;
    return;
  }
  const InitInfoVersion parsed = ReadInitInfoVersion(text);
  if (parsed.malformed) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "parse ipc init info fail");
    return;
  }
  if (!parsed.version.has_value()) {
    return;  // a "version" of another kind leaves the one in force
  }
  ipcVersion = *parsed.version;
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "ipc version is %d",
                        *parsed.version);
}

bool CIpcClient::RegisterMessageTypes() {
  if (!RegisterTypes({"T_MSG_PLUGIN_HEARTS_ACK", "T_MSG_CLIENT_RULE_PUSH"}, {}, true)) {
    return false;
  }
  return RegisterTypes({"INTERNAL_MSG_REQUEST_CONTAINER_INFO", "T_MSG_NEW_VALKO_INFO"},
                       {"protocol_ipc_client_with_obj_id"}, false);
}

bool CIpcClient::RegisterTypes(const std::vector<std::string>& types,
                               const std::vector<std::string>& clients, bool isBlack) {
  std::string text;
  try {
    Json::Value document(Json::objectValue);
    document["is_black"] = isBlack ? 1 : 0;
    document["is_reg"] = 1;
    document["client_list"] = ToJsonArray(clients);
    document["type_list"] = ToJsonArray(types);
    text = Json::StyledWriter().write(document);
  } catch (const std::exception&) {
    return false;
  }
  return platform_.IpcRegData(text.data(), static_cast<uint32_t>(text.size())) == 0;
}

bool CIpcClient::EnqueueMessage(const IpcMessage& message) {
  if (sendList_.Push(message, message.priority)) {
    bufferedBytes.fetch_add(static_cast<int64_t>(message.data.size()));
    return true;
  }
  const uint64_t drops = dropCount.fetch_add(1) + 1;
  WarnOfDrop(kLogSource, __LINE__, "drop ipc msg count", drops);
  return false;
}

void CIpcClient::run() {
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "start ipc send thread");
  tbx::CThreadUtil::SetThreadName(kSendThreadName);
  const bool slowPacing = UseSlowPacing();
  uint32_t taken = 0;  // messages taken from the list by this thread
  while (!stopSending.load()) {
    if (!IsConnected()) {
      platform_.Sleep(kIdlePollMilliseconds);
      continue;
    }
    IpcMessage message;
    if (!sendList_.Pop(message)) {
      continue;  // a wake-up without a message: the tear-down
    }
    const auto length = static_cast<int64_t>(message.data.size());
    if (SendOne(message)) {
      sendCount.fetch_add(1);
      bufferedBytes.fetch_sub(length);
    } else if (!sendList_.Push(message, message.priority)) {
      dropCount.fetch_add(1);
      bufferedBytes.fetch_sub(length);
    }
    ++taken;
    if (slowPacing) {
      platform_.Sleep(kSlowPauseMilliseconds);
    } else if (taken % 2 == 1) {
      platform_.Sleep(kPairPauseMilliseconds);
    }
  }
  tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "end ipc send thread");
}

bool CIpcClient::SendOne(const IpcMessage& message) {
  if (ipcVersion.load() > 0) {
    const std::string header =
        BuildSerializedHeader(message.type, message.priority, message.ipcOnly, message.objId);
    return platform_.IpcSendDataEx(message.data, header) == 0;
  }
  std::string text;
  if (!PackMessage(text, message)) {
    tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "packet message for %s fail",
                          message.type.c_str());
    return false;
  }
  return platform_.IpcSendData(text.data(), static_cast<uint32_t>(text.size())) == 0;
}

bool CIpcClient::UseSlowPacing() {
  return platform_.SystemVersion() <= kSlowPacingMaxVersion &&
         platform_.ProcessorCount() <= kSlowPacingMaxProcessors;
}

bool CIpcClient::GetMtInfo(std::map<std::string, std::string>& info) {
  // Exchanged, so each message counts in exactly one report while the send thread runs.
  const uint64_t sent = sendCount.exchange(0);
  const uint64_t dropped = dropCount.exchange(0);
  const uint32_t queued = sendList_.Count();
  const int64_t buffered = bufferedBytes.load();
  AddUnlessZero(info, "korvexmonitor_ipc_buff_msg_count",
                tbx::CStringUtil::UIntToString(queued, nullptr, 10));
  AddUnlessZero(info, "korvexmonitor_ipc_buff_size",
                tbx::CStringUtil::IntToString(buffered, nullptr, 10));
  AddUnlessZero(info, "korvexmonitor_ipc_send_count",
                tbx::CStringUtil::UIntToString(sent, nullptr, 10));
  AddUnlessZero(info, "korvexmonitor_ipc_drop_count",
                tbx::CStringUtil::UIntToString(dropped, nullptr, 10));
  return true;
}

std::string CIpcClient::GetMonitorInfo() {
  const std::string buildStamp = std::string(BuildDate()) + " " + BuildTime();
  return tbx::CStringUtil::strprintf(
      "IpcClient==>SendListCount:%u,SendListSize:%u,LongHandleTimes:%u,BuildTime:%s",
      sendList_.Count(), static_cast<uint32_t>(bufferedBytes.load()),
      protocolHandlerThread_.TakeLongHandleCount(), buildStamp.c_str());
}
