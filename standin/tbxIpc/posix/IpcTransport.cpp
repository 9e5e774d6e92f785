#include "IpcTransport.h"

#include "IpcSystem.h"
#include "IpcTcpDialer.h"
#include "IpcTcpListener.h"
#include "IpcUnixDialer.h"
#include "IpcUnixListener.h"

namespace ipc {

Transport SelectedTransport() {
  return sys::Environment("TBX_IPC_TRANSPORT") == "tcp" ? Transport::kTcp : Transport::kUnix;
}

const char* TransportName(Transport transport) {
  return transport == Transport::kTcp ? "tcp" : "unix";
}

std::unique_ptr<CIpcListener> MakeListener(Transport transport, const CIpcEndpoint& endpoint) {
  if (transport == Transport::kTcp) {
    return std::make_unique<CIpcTcpListener>(endpoint);
  }
  return std::make_unique<CIpcUnixListener>(endpoint);
}

int32_t Dial(Transport transport, const CIpcEndpoint& endpoint, int timeoutMs,
             std::unique_ptr<CIpcConnection>* connection, std::string* why) {
  if (transport == Transport::kTcp) {
    return DialTcp(endpoint, timeoutMs, connection, why);
  }
  return DialUnix(endpoint, timeoutMs, connection, why);
}

}  // namespace ipc
