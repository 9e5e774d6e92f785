// tbxIpc: the client end of Unix-domain sockets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "IpcConnection.h"
#include "IpcEndpoint.h"

namespace ipc {

// Connects to the socket of `endpoint` within `timeoutMs` and checks that the server runs as
// this process's user or as root. Returns an IpcState: kIpcNoServer when no socket is there
// or nobody listens on it, kIpcPeerRejected for a server of another user.
int32_t DialUnix(const CIpcEndpoint& endpoint, int timeoutMs,
                 std::unique_ptr<CIpcConnection>* connection, std::string* why);

}  // namespace ipc
