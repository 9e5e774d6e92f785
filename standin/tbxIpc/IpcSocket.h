// tbxIpc: the socket calls the library makes, one implementation per system (posix/, windows/).
//
// Every socket these functions create or accept is non-blocking and not inherited by child
// processes; a connection waits with WaitSocket before it reads or writes again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Export.h"

namespace ipc {

// A descriptor on POSIX, a SOCKET on Windows; either fits, and both systems' invalid value
// is -1 here.
using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;

// The longest a wait lasts before it returns kTimeout so the caller can look at its own stop
// flag, or -1 when a shutdown from another thread always ends a wait.
TBXIPC_API int WaitSliceMs();

enum class IoResult {
  kDone,        // `*count` bytes moved (at least one)
  kWouldBlock,  // nothing to read, or no room to write, at the moment
  kEnd,         // receive only: the peer closed its end
  kFailed,      // the socket is unusable; LastSocketError() says why
};

enum class WaitResult { kReady, kTimeout, kFailed };

enum class DialResult {
  kConnected,
  kRefused,   // nobody listens there
  kTimedOut,  // no answer within the time given
  kFailed,
};

// The last socket error of the calling thread, as text.
TBXIPC_API std::string LastSocketError();

TBXIPC_API void CloseSocket(SocketHandle socket);
// Ends both directions; a wait on the socket in another thread returns.
TBXIPC_API void ShutdownSocket(SocketHandle socket);

TBXIPC_API IoResult SendSome(SocketHandle socket, const char* data, size_t size, size_t* count);
TBXIPC_API IoResult ReceiveSome(SocketHandle socket, char* data, size_t size, size_t* count);

// Waits until `socket` can be read (or, with `forWrite`, written), at most `timeoutMs`
// (-1: no limit). A closed or failed socket counts as ready: the next call reports it.
TBXIPC_API WaitResult WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs);
// Waits until one of `count` sockets can be read; `ready[i]` tells which. kTimeout when
// none became ready within `timeoutMs` (-1: no limit).
TBXIPC_API WaitResult WaitReadable(const SocketHandle* sockets, bool* ready, size_t count,
                                   int timeoutMs);

// A TCP socket listening on 127.0.0.1 at a port the system picks, which goes to `*port`.
// kNoSocket, with the reason in `why`, on failure.
TBXIPC_API SocketHandle ListenLoopback(int backlog, uint16_t* port, std::string* why);
// Connects to 127.0.0.1:`port` within `timeoutMs`; `*socket` is set on kConnected.
TBXIPC_API DialResult ConnectLoopback(uint16_t port, int timeoutMs, SocketHandle* socket,
                                      std::string* why);
// Accepts one pending connection of `listener`; kNoSocket with `why` empty when none was
// pending (or it vanished before it was taken), with the reason otherwise.
TBXIPC_API SocketHandle AcceptSocket(SocketHandle listener, std::string* why);

}  // namespace ipc
