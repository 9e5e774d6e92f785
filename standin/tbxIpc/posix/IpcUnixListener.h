// tbxIpc: the listening end of Unix-domain sockets: the socket file at the endpoint, and a
// peer admitted at accept when it runs as this process's user or as root.
#pragma once

#include <string>

#include "IpcEndpoint.h"
#include "IpcListener.h"
#include "IpcUnixAddress.h"

class CIpcUnixListener : public CIpcListener {
 public:
  explicit CIpcUnixListener(const CIpcEndpoint& endpoint) : endpoint_(endpoint) {}
  ~CIpcUnixListener() override;  // Close()

  int32_t Open(std::string* why) override;
  ipc::SocketHandle handle() const override { return socket_; }
  ipc::SocketHandle Accept(std::string* why) override;
  bool WantsHandshake() const override { return false; }
  bool Admit(CIpcConnection*, std::string*) override { return true; }
  void Close() override;
  std::string Describe() const override { return endpoint_.path(); }

 private:
  const CIpcEndpoint endpoint_;
  CIpcUnixAddress address_;
  ipc::SocketHandle socket_ = ipc::kNoSocket;
};
