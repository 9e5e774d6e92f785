// tbxIpc: the listening end of loopback TCP. Publishes port and token in the endpoint file and
// admits a peer only once the handshake has shown that it knows the token.
#pragma once

#include <cstdint>
#include <string>

#include "IpcEndpoint.h"
#include "IpcListener.h"

class CIpcTcpListener : public CIpcListener {
 public:
  // How long a peer has for its part of the handshake after the connection was accepted.
  static constexpr int kHandshakeTimeoutMs = 5000;

  explicit CIpcTcpListener(const CIpcEndpoint& endpoint);
  ~CIpcTcpListener() override;  // Close()

  int32_t Open(std::string* why) override;
  ipc::SocketHandle handle() const override { return socket_; }
  ipc::SocketHandle Accept(std::string* why) override;
  bool WantsHandshake() const override { return true; }
  bool Admit(CIpcConnection* connection, std::string* why) override;
  void Close() override;
  std::string Describe() const override;

 private:
  const CIpcEndpoint endpoint_;
  const int handshakeTimeoutMs_;  // as in force when the listener was made
  ipc::SocketHandle socket_ = ipc::kNoSocket;
  uint16_t port_ = 0;
  std::string token_;       // what a peer must prove it knows; fixed while open
  bool published_ = false;  // the endpoint file is ours to remove
};
