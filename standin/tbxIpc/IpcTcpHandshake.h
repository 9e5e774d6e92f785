// tbxIpc: the exchange that opens every loopback TCP connection. Each end proves that it knows
// the token of the endpoint file without sending it, over nonces fresh for the connection, so
// that no recorded proof fits another exchange:
//   client -> server  HELLO  Nc
//   server -> client  PROOF  Ns, HMAC-SHA256(token, "S" + Nc + Ns)
//   client -> server  PROOF  HMAC-SHA256(token, "C" + Ns + Nc)
// The client checks the server's proof before it sends its own or anything else, so a listener
// that does not know the token learns a nonce and nothing more (after the agent has ended,
// anyone may listen on the port a stale endpoint file names). The server sends INIT only after
// the client's proof. Both connections decode with the handshake (see CIpcFrameDecoder).
#pragma once

#include <cstdint>
#include <string>

#include "IpcConnection.h"

namespace ipc {

// The client's part on a connection just made, within `timeoutMs`. Returns an IpcState:
// kIpcPeerRejected when the server's proof is wrong, kIpcHandshakeFailed when the exchange
// breaks off, is malformed or does not complete in time.
int32_t HandshakeAsClient(CIpcConnection* connection, const std::string& token, int timeoutMs,
                          std::string* why);

// The server's part on a connection just accepted, within `timeoutMs`. False, with the reason,
// when the peer is to be dropped.
bool HandshakeAsServer(CIpcConnection* connection, const std::string& token, int timeoutMs,
                       std::string* why);

}  // namespace ipc
