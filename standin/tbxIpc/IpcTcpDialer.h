// tbxIpc: the client end of loopback TCP.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "IpcConnection.h"
#include "IpcEndpoint.h"

namespace ipc {

// Reads the endpoint file of `endpoint`, connects to its port within `timeoutMs` and runs the
// client's part of the handshake with its token, again within `timeoutMs`. Returns an IpcState:
// kIpcNoServer for a missing or malformed endpoint file and for a stale one whose port nobody
// listens on, kIpcPeerRejected for a listener that does not know the token.
int32_t DialTcp(const CIpcEndpoint& endpoint, int timeoutMs,
                std::unique_ptr<CIpcConnection>* connection, std::string* why);

}  // namespace ipc
