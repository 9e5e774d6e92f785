// tbxIpc: the listening end of loopback TCP. Publishes port and token in the endpoint file and
// admits a peer only after a HELLO frame with that token.
#pragma once

#include <cstdint>
#include <string>

#include "IpcEndpoint.h"
#include "IpcListener.h"

class CIpcTcpListener : public CIpcListener {
 public:
  // How long a peer has for its HELLO frame after the connection was accepted.
  static constexpr int kHelloTimeoutMs = 5000;

  explicit CIpcTcpListener(const CIpcEndpoint& endpoint);
  ~CIpcTcpListener() override;  // Close()

  int32_t Open(std::string* why) override;
  ipc::SocketHandle handle() const override { return socket_; }
  ipc::SocketHandle Accept(std::string* why) override;
  bool WantsHello() const override { return true; }
  bool Admit(CIpcConnection* connection, std::string* why) override;
  void Close() override;
  std::string Describe() const override;

 private:
  const CIpcEndpoint endpoint_;
  const int helloTimeoutMs_;  // as in force when the listener was made
  ipc::SocketHandle socket_ = ipc::kNoSocket;
  uint16_t port_ = 0;
  std::string token_;       // what a HELLO must carry; fixed while open
  bool published_ = false;  // the endpoint file is ours to remove
};
