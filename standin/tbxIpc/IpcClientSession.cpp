#include "IpcClientSession.h"

#include <system_error>

#include "IpcLog.h"
#include "IpcSystem.h"

CIpcClientSession::CIpcClientSession(std::unique_ptr<CIpcConnection> connection,
                                     IpcClientCallbacks callbacks, std::string initInfo,
                                     std::string serverName)
    : connection_(std::move(connection)),
      callbacks_(callbacks),
      initInfo_(std::move(initInfo)),
      serverName_(std::move(serverName)) {}

CIpcClientSession::~CIpcClientSession() {
  if (thread_.joinable()) {
    thread_.detach();
  }
}

bool CIpcClientSession::Start() {
  try {
    std::shared_ptr<CIpcClientSession> self = shared_from_this();
    thread_ = std::thread([self] { self->Run(); });
  } catch (const std::system_error&) {
    alive_.store(false);
    return false;
  }
  return true;
}

void CIpcClientSession::Stop() {
  stopped_.store(true);
  connection_->Shutdown();
}

void CIpcClientSession::Join() {
  if (!thread_.joinable()) {
    return;
  }
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void CIpcClientSession::Run() {
  ipc::sys::NameCurrentThread("ipc_recv");
  if (!stopped_.load() && callbacks_.onConnected != nullptr) {
    callbacks_.onConnected(initInfo_);
  }
  IpcFrame frame;
  while (!stopped_.load() && connection_->Receive(&frame)) {
    if (!stopped_.load() && callbacks_.onReceive != nullptr) {
      callbacks_.onReceive(frame.payload.data(), static_cast<int32_t>(frame.payload.size()));
    }
  }
  alive_.store(false);
  if (stopped_.load()) {
    return;
  }
  connection_->Shutdown();
  ipc::Log("connection to " + serverName_ + " lost: " + connection_->error());
  if (callbacks_.onDisconnected != nullptr) {
    callbacks_.onDisconnected();
  }
}
