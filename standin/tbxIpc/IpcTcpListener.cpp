#include "IpcTcpListener.h"

#include <atomic>

#include "IpcEndpointFile.h"
#include "IpcStates.h"
#include "IpcSystem.h"
#include "IpcTcpHandshake.h"
#include "IpcTestSeams.h"
#include "IpcToken.h"

namespace {

constexpr int kListenBacklog = 16;

std::atomic<int> g_handshakeTimeoutOverrideMs{0};

int HandshakeTimeoutMs() {
  const int overridden = g_handshakeTimeoutOverrideMs.load();
  return overridden > 0 ? overridden : CIpcTcpListener::kHandshakeTimeoutMs;
}

}  // namespace

namespace ipc::testing {

void OverrideHandshakeTimeoutMs(int milliseconds) {
  g_handshakeTimeoutOverrideMs.store(milliseconds);
}

}  // namespace ipc::testing

CIpcTcpListener::CIpcTcpListener(const CIpcEndpoint& endpoint)
    : endpoint_(endpoint), handshakeTimeoutMs_(HandshakeTimeoutMs()) {}

CIpcTcpListener::~CIpcTcpListener() {
  Close();
}

int32_t CIpcTcpListener::Open(std::string* why) {
  if (!ipc::NewToken(&token_, why)) {
    return kIpcSystemError;
  }
  socket_ = ipc::ListenLoopback(kListenBacklog, &port_, why);
  if (socket_ == ipc::kNoSocket) {
    return kIpcSystemError;
  }
  // Replacing the file also replaces a stale one left by a server that is gone.
  if (!CIpcEndpointFile(port_, token_).Write(endpoint_.path(), why)) {
    return kIpcSystemError;
  }
  published_ = true;
  return kIpcOk;
}

ipc::SocketHandle CIpcTcpListener::Accept(std::string* why) {
  return ipc::AcceptSocket(socket_, why);
}

bool CIpcTcpListener::Admit(CIpcConnection* connection, std::string* why) {
  return ipc::HandshakeAsServer(connection, token_, handshakeTimeoutMs_, why);
}

void CIpcTcpListener::Close() {
  if (socket_ != ipc::kNoSocket) {
    ipc::CloseSocket(socket_);
    socket_ = ipc::kNoSocket;
  }
  if (published_) {
    ipc::sys::RemoveFile(endpoint_.path());
    published_ = false;
  }
}

std::string CIpcTcpListener::Describe() const {
  return "127.0.0.1:" + std::to_string(port_) + " (" + endpoint_.path() + ")";
}
