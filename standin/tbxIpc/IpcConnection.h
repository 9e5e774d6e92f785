// tbxIpc: one connected stream socket carrying frames.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Export.h"
#include "IpcFrame.h"
#include "IpcFrameDecoder.h"
#include "IpcSocket.h"

class TBXIPC_API CIpcConnection {
 public:
  // How long a send may wait for room in the socket before it gives up, by default.
  static constexpr int kDefaultSendTimeoutMs = 5000;

  // Takes ownership of the connected, non-blocking `socket`. `side` and `handshake` say which
  // frames the peer may send (see CIpcFrameDecoder). A frame that cannot be written within
  // `sendTimeoutMs` fails and shuts the connection down.
  CIpcConnection(ipc::SocketHandle socket, CIpcFrameDecoder::Side side, bool handshake = false,
                 int sendTimeoutMs = kDefaultSendTimeoutMs);
  ~CIpcConnection();  // closes the socket

  CIpcConnection(const CIpcConnection&) = delete;
  CIpcConnection& operator=(const CIpcConnection&) = delete;

  // Writes one whole frame; safe from any thread, frames never interleave. Returns an
  // IpcState: kIpcTooLarge writes nothing and keeps the connection, kIpcSendFailed shuts it
  // down (a partly written frame would corrupt the stream).
  int32_t Send(uint8_t kind, const std::string& payload);

  // Waits for the next frame, at most `timeoutMs` (-1: no limit). Only one thread may
  // receive. False at the end of the stream, on an error, on a refused frame or on timeout;
  // error() says which. Reads are bounded: at most one frame plus one read chunk is buffered.
  bool Receive(IpcFrame* frame, int timeoutMs = -1);

  // Ends the connection both ways and wakes a blocked Receive. The socket stays open (and its
  // number taken) until destruction, so a concurrent call never touches a reused descriptor.
  void Shutdown();
  bool IsShutDown() const { return shutDown_.load(); }

  // Why the last Receive returned false; for the receiving thread only.
  const std::string& error() const { return error_; }

 private:
  const ipc::SocketHandle socket_;     // owned
  const int sendTimeoutMs_;            // per frame
  std::mutex sendMutex_;               // one frame at a time on the wire
  std::atomic<bool> shutDown_{false};  // Shutdown() ran or a send failed
  CIpcFrameDecoder decoder_;           // receiving thread only
  std::vector<char> chunk_;            // receiving thread only: one read
  std::string error_;                  // receiving thread only
};
