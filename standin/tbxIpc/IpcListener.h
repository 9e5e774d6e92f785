// tbxIpc: the listening end of one transport, owned by a running server.
#pragma once

#include <cstdint>
#include <string>

#include "IpcConnection.h"
#include "IpcSocket.h"

class CIpcListener {
 public:
  virtual ~CIpcListener() = default;

  // Listens and publishes the endpoint (the socket file, or the endpoint file naming port and
  // token). The caller holds the name's lock, so whatever is at the endpoint is stale. Returns
  // an IpcState.
  virtual int32_t Open(std::string* why) = 0;

  // What to wait on for pending connections.
  virtual ipc::SocketHandle handle() const = 0;

  // Takes one pending connection and checks what can be checked at once (the peer's user on
  // Unix-domain sockets). kNoSocket with `why` empty when none was pending, with the reason
  // when it was refused.
  virtual ipc::SocketHandle Accept(std::string* why) = 0;

  // True when a connection opens with the handshake frames (see CIpcFrameDecoder).
  virtual bool WantsHandshake() const = 0;

  // Runs on the connection's own thread before the server sends INIT; may exchange frames with
  // the peer and wait for it. False, with the reason, drops the peer.
  virtual bool Admit(CIpcConnection* connection, std::string* why) = 0;

  // Stops listening and withdraws the endpoint.
  virtual void Close() = 0;

  // Where it listens, for log lines.
  virtual std::string Describe() const = 0;
};
