// Winsock2. Every socket made here is non-blocking (send and receive never wait; the caller
// waits with WaitSocket) and not inherited by child processes.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>
#include <vector>

#include "IpcSocket.h"

namespace ipc {

namespace {

SOCKET Native(SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

SocketHandle Handle(SOCKET socket) {
  return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

std::string ErrorText(int error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return "error " + std::to_string(error) + (message.empty() ? "" : " (" + message + ")");
}

std::string Failure(const std::string& what) {
  return what + ": " + ErrorText(WSAGetLastError());
}

// WSAStartup once per process; Winsock keeps it until the process ends.
bool StartWinsock(std::string* why) {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) {
    *why = "WSAStartup: " + ErrorText(result);
    return false;
  }
  return true;
}

// Non-blocking, not inherited, and (for TCP) without Nagle's delay: frames are written whole.
bool Prepare(SOCKET socket, bool tcp) {
  u_long nonBlocking = 1;
  if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
    return false;
  }
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
  if (tcp) {
    const BOOL one = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
  }
  return true;
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ChunkSize(size_t size) {
  return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

int WaitSliceMs() {
  // Windows does not promise that shutdown() wakes a wait on the socket in another thread.
  return 500;
}

std::string LastSocketError() {
  return ErrorText(WSAGetLastError());
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) {
    closesocket(Native(socket));
  }
}

void ShutdownSocket(SocketHandle socket) {
  shutdown(Native(socket), SD_BOTH);
}

IoResult SendSome(SocketHandle socket, const char* data, size_t size, size_t* count) {
  for (;;) {
    const int n = send(Native(socket), data, ChunkSize(size), 0);
    if (n > 0) {
      *count = static_cast<size_t>(n);
      return IoResult::kDone;
    }
    const int error = WSAGetLastError();
    if (n == SOCKET_ERROR && error == WSAEINTR) {
      continue;
    }
    return n == SOCKET_ERROR && error == WSAEWOULDBLOCK ? IoResult::kWouldBlock : IoResult::kFailed;
  }
}

IoResult ReceiveSome(SocketHandle socket, char* data, size_t size, size_t* count) {
  for (;;) {
    const int n = recv(Native(socket), data, ChunkSize(size), 0);
    if (n > 0) {
      *count = static_cast<size_t>(n);
      return IoResult::kDone;
    }
    if (n == 0) {
      return IoResult::kEnd;
    }
    const int error = WSAGetLastError();
    if (error == WSAEINTR) {
      continue;
    }
    return error == WSAEWOULDBLOCK ? IoResult::kWouldBlock : IoResult::kFailed;
  }
}

WaitResult WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
  WSAPOLLFD p = {};
  p.fd = Native(socket);
  p.events = forWrite ? POLLWRNORM : POLLRDNORM;
  const int n = WSAPoll(&p, 1, timeoutMs);
  if (n == SOCKET_ERROR) {
    return WaitResult::kFailed;
  }
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

WaitResult WaitReadable(const SocketHandle* sockets, bool* ready, size_t count, int timeoutMs) {
  std::vector<WSAPOLLFD> fds(count);
  for (size_t i = 0; i < count; ++i) {
    fds[i].fd = Native(sockets[i]);
    fds[i].events = POLLRDNORM;
  }
  const int n = WSAPoll(fds.data(), static_cast<ULONG>(count), timeoutMs);
  for (size_t i = 0; i < count; ++i) {
    ready[i] = n > 0 && fds[i].revents != 0;
  }
  if (n == SOCKET_ERROR) {
    return WaitResult::kFailed;
  }
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

SocketHandle ListenLoopback(int backlog, uint16_t* port, std::string* why) {
  if (!StartWinsock(why)) {
    return kNoSocket;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *why = Failure("socket");
    return kNoSocket;
  }
  // Without it another process could bind the same port with SO_REUSEADDR and take
  // connections meant for this server.
  const BOOL exclusive = TRUE;
  sockaddr_in address = LoopbackAddress(0);
  int length = sizeof(address);
  if (setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof(exclusive)) != 0 ||
      bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(s, backlog) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || !Prepare(s, false)) {
    *why = Failure("listening on 127.0.0.1");
    closesocket(s);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return Handle(s);
}

DialResult ConnectLoopback(uint16_t port, int timeoutMs, SocketHandle* socket, std::string* why) {
  if (!StartWinsock(why)) {
    return DialResult::kFailed;
  }
  const std::string target = "connect to 127.0.0.1:" + std::to_string(port);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *why = Failure("socket");
    return DialResult::kFailed;
  }
  if (!Prepare(s, true)) {
    *why = Failure(target);
    closesocket(s);
    return DialResult::kFailed;
  }
  const sockaddr_in address = LoopbackAddress(port);
  int error = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      // select, not WSAPoll: older WSAPoll does not report a refused connect.
      fd_set writable;
      fd_set failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval limit = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
      const int n = select(0, nullptr, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
      int length = sizeof(error);
      if (n == 0) {
        error = WSAETIMEDOUT;
      } else if (n == SOCKET_ERROR) {
        error = WSAGetLastError();
      } else if (FD_ISSET(s, &failed)) {
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
      } else {
        error = 0;
      }
    }
  }
  if (error != 0) {
    closesocket(s);
    *why = target + ": " + ErrorText(error);
    if (error == WSAECONNREFUSED) {
      return DialResult::kRefused;
    }
    return error == WSAETIMEDOUT ? DialResult::kTimedOut : DialResult::kFailed;
  }
  *socket = Handle(s);
  return DialResult::kConnected;
}

SocketHandle AcceptSocket(SocketHandle listener, std::string* why) {
  const SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK && error != WSAEINTR && error != WSAECONNRESET) {
      *why = "accept: " + ErrorText(error);
    }
    return kNoSocket;
  }
  if (!Prepare(s, true)) {
    *why = Failure("accept");
    closesocket(s);
    return kNoSocket;
  }
  return Handle(s);
}

}  // namespace ipc
