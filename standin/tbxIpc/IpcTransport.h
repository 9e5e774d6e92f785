// tbxIpc: the two transports and the choice between them, which each system makes in its own
// way (posix/, windows/).
//
// Unix-domain sockets, where the peer's user is checked, or loopback TCP, where each end proves
// that it knows the token of the endpoint file, so could read the installation's files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Export.h"
#include "IpcConnection.h"
#include "IpcEndpoint.h"
#include "IpcListener.h"

namespace ipc {

enum class Transport { kUnix, kTcp };

// The transport for a connect or a server start made now. On POSIX, TBX_IPC_TRANSPORT=tcp
// selects loopback TCP and anything else Unix-domain sockets; Windows has loopback TCP only.
TBXIPC_API Transport SelectedTransport();

// "unix" or "tcp".
TBXIPC_API const char* TransportName(Transport transport);

// The listening end for `endpoint`; not yet open.
std::unique_ptr<CIpcListener> MakeListener(Transport transport, const CIpcEndpoint& endpoint);

// Connects to the server of `endpoint` and says what the transport asks of a client before
// the server's INIT frame, which is the caller's to wait for. Returns an IpcState:
// kIpcNoServer when nobody serves the name.
int32_t Dial(Transport transport, const CIpcEndpoint& endpoint, int timeoutMs,
             std::unique_ptr<CIpcConnection>* connection, std::string* why);

}  // namespace ipc
