// Windows has loopback TCP only (no Unix-domain sockets under every Windows this runs on, none
// at all under Wine).
#include "IpcTransport.h"

#include "IpcTcpDialer.h"
#include "IpcTcpListener.h"

namespace ipc {

Transport SelectedTransport() {
  return Transport::kTcp;
}

const char* TransportName(Transport transport) {
  return transport == Transport::kTcp ? "tcp" : "unix";
}

std::unique_ptr<CIpcListener> MakeListener(Transport, const CIpcEndpoint& endpoint) {
  return std::make_unique<CIpcTcpListener>(endpoint);
}

int32_t Dial(Transport, const CIpcEndpoint& endpoint, int timeoutMs,
             std::unique_ptr<CIpcConnection>* connection, std::string* why) {
  return DialTcp(endpoint, timeoutMs, connection, why);
}

}  // namespace ipc
