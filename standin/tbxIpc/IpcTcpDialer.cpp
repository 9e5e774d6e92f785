#include "IpcTcpDialer.h"

#include "IpcEndpointFile.h"
#include "IpcStates.h"
#include "IpcTcpHandshake.h"

namespace ipc {

int32_t DialTcp(const CIpcEndpoint& endpoint, int timeoutMs,
                std::unique_ptr<CIpcConnection>* connection, std::string* why) {
  CIpcEndpointFile file;
  const int32_t state = file.Read(endpoint.path(), why);
  if (state != kIpcOk) {
    return state;
  }
  SocketHandle socket = kNoSocket;
  switch (ConnectLoopback(file.port(), timeoutMs, &socket, why)) {
    case DialResult::kConnected:
      break;
    case DialResult::kRefused:
      *why += " (a stale " + endpoint.path() + ")";
      return kIpcNoServer;
    case DialResult::kTimedOut:
      return kIpcHandshakeFailed;
    case DialResult::kFailed:
      return kIpcSystemError;
  }
  auto opened = std::make_unique<CIpcConnection>(socket, CIpcFrameDecoder::Side::kClient, true);
  const int32_t handshake = HandshakeAsClient(opened.get(), file.token(), timeoutMs, why);
  if (handshake != kIpcOk) {
    *why = "127.0.0.1:" + std::to_string(file.port()) + ": " + *why;
    return handshake;
  }
  *connection = std::move(opened);
  return kIpcOk;
}

}  // namespace ipc
