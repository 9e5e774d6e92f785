#include "IpcClientCore.h"

#include "IpcEndpoint.h"
#include "IpcLog.h"
#include "IpcStates.h"
#include "IpcTransport.h"

namespace {

// The record sizes a caller may announce: this build's own, and the 26 bytes of the record
// with 32-bit pointers, which callers written against the packed layout put in.
constexpr uint16_t kPackedRecordSize = 26;

}  // namespace

CIpcClientCore& CIpcClientCore::Instance() {
  static CIpcClientCore* core = new CIpcClientCore();
  return *core;
}

int32_t CIpcClientCore::Init(const IpcInitParam* param) {
  if (param == nullptr ||
      (param->size != sizeof(IpcInitParam) && param->size != kPackedRecordSize) ||
      (param->clientName == nullptr && param->clientNameLength != 0)) {
    return kIpcInvalidArgument;
  }
  std::string name(param->clientName == nullptr ? "" : param->clientName, param->clientNameLength);
  std::lock_guard<std::mutex> lock(mutex_);
  clientName_ = std::move(name);
  callbacks_.onReceive = param->onReceive;
  callbacks_.onDisconnected = param->onDisconnected;
  callbacks_.onConnected = param->onConnected;
  initialised_ = true;
  return kIpcOk;
}

bool CIpcClientCore::ReapEndedSession(IpcClientCallbacks* callbacks, std::string* clientName,
                                      bool* connected) {
  for (;;) {
    std::shared_ptr<CIpcClientSession> ended;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!initialised_) {
        return false;
      }
      *callbacks = callbacks_;
      *clientName = clientName_;
      *connected = session_ != nullptr && session_->IsAlive();
      if (session_ == nullptr || *connected) {
        return true;
      }
      ended = std::move(session_);
    }
    ended->Join();
  }
}

int32_t CIpcClientCore::Connect(const std::string& serverName) {
  IpcClientCallbacks callbacks;
  std::string clientName;
  bool connected = false;
  if (!ReapEndedSession(&callbacks, &clientName, &connected)) {
    return kIpcNotInitialised;
  }
  if (connected) {
    return kIpcOk;
  }
  std::shared_ptr<CIpcClientSession> session;
  const int32_t state = Dial(serverName, callbacks, &session);
  if (state != kIpcOk) {
    return state;
  }
  ipc::Log("client " + clientName + " connected to " + serverName);
  return Install(session);
}

int32_t CIpcClientCore::Dial(const std::string& serverName, const IpcClientCallbacks& callbacks,
                             std::shared_ptr<CIpcClientSession>* session) {
  std::string why;
  CIpcEndpoint endpoint;
  int32_t state = endpoint.Open("", serverName, false, &why);
  std::unique_ptr<CIpcConnection> connection;
  if (state == kIpcOk) {
    state = ipc::Dial(ipc::SelectedTransport(), endpoint, kHandshakeTimeoutMs, &connection, &why);
  }
  if (state != kIpcOk) {
    ipc::Log("connect to " + serverName + ": " + why);
    return state;
  }
  IpcFrame init;
  if (!connection->Receive(&init, kHandshakeTimeoutMs)) {
    ipc::Log("connect to " + endpoint.path() + ": no INIT frame: " + connection->error());
    return kIpcHandshakeFailed;
  }
  *session = std::make_shared<CIpcClientSession>(std::move(connection), callbacks,
                                                 std::move(init.payload), serverName);
  return kIpcOk;
}

int32_t CIpcClientCore::Install(const std::shared_ptr<CIpcClientSession>& session) {
  for (;;) {
    std::shared_ptr<CIpcClientSession> ended;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!initialised_) {
        session->Stop();
        return kIpcNotInitialised;
      }
      if (session_ != nullptr && session_->IsAlive()) {
        // A concurrent connect won; one connection per client.
        session->Stop();
        return kIpcOk;
      }
      if (session_ == nullptr) {
        if (!session->Start()) {
          return kIpcSystemError;
        }
        session_ = session;
        return kIpcOk;
      }
      ended = std::move(session_);
    }
    ended->Join();
  }
}

bool CIpcClientCore::NeedConnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_ == nullptr || !session_->IsAlive();
}

int32_t CIpcClientCore::Send(uint8_t kind, const std::string& payload) {
  std::shared_ptr<CIpcClientSession> session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session = session_;
  }
  if (session == nullptr || !session->IsAlive()) {
    return kIpcNotConnected;
  }
  const int32_t state = session->connection().Send(kind, payload);
  if (state == kIpcSendFailed) {
    ipc::Log("send failed; connection closed");
  }
  return state;
}

int32_t CIpcClientCore::Free() {
  std::shared_ptr<CIpcClientSession> session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    initialised_ = false;
    callbacks_ = IpcClientCallbacks();
    session = std::move(session_);
  }
  if (session != nullptr) {
    session->Stop();
    session->Join();
  }
  return kIpcOk;
}
