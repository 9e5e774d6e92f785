#include "IpcSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace ipc {

namespace {

int Fd(SocketHandle socket) {
  return static_cast<int>(socket);
}

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// Retries poll after a signal with the same timeout; a signal storm could stretch a wait,
// which no caller of this library relies on being exact.
int PollRetrying(pollfd* fds, size_t count, int timeoutMs) {
  for (;;) {
    const int n = poll(fds, count, timeoutMs);
    if (n >= 0 || errno != EINTR) {
      return n;
    }
  }
}

// Frames are written whole, so small ones need not wait for the peer's acknowledgement.
void NoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

int WaitSliceMs() {
  return -1;  // shutdown(2) wakes a poll on the socket in any thread
}

std::string LastSocketError() {
  return std::strerror(errno);
}

void CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) {
    close(Fd(socket));
  }
}

void ShutdownSocket(SocketHandle socket) {
  shutdown(Fd(socket), SHUT_RDWR);
}

IoResult SendSome(SocketHandle socket, const char* data, size_t size, size_t* count) {
  for (;;) {
    const ssize_t n = send(Fd(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      *count = static_cast<size_t>(n);
      return IoResult::kDone;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? IoResult::kWouldBlock
                                                              : IoResult::kFailed;
  }
}

IoResult ReceiveSome(SocketHandle socket, char* data, size_t size, size_t* count) {
  for (;;) {
    const ssize_t n = recv(Fd(socket), data, size, MSG_DONTWAIT);
    if (n > 0) {
      *count = static_cast<size_t>(n);
      return IoResult::kDone;
    }
    if (n == 0) {
      return IoResult::kEnd;
    }
    if (errno == EINTR) {
      continue;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK ? IoResult::kWouldBlock : IoResult::kFailed;
  }
}

WaitResult WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
  pollfd p = {Fd(socket), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
  const int n = PollRetrying(&p, 1, timeoutMs);
  if (n < 0) {
    return WaitResult::kFailed;
  }
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

WaitResult WaitReadable(const SocketHandle* sockets, bool* ready, size_t count, int timeoutMs) {
  std::vector<pollfd> fds(count);
  for (size_t i = 0; i < count; ++i) {
    fds[i] = {Fd(sockets[i]), POLLIN, 0};
  }
  const int n = PollRetrying(fds.data(), count, timeoutMs);
  for (size_t i = 0; i < count; ++i) {
    ready[i] = n > 0 && fds[i].revents != 0;
  }
  if (n < 0) {
    return WaitResult::kFailed;
  }
  return n == 0 ? WaitResult::kTimeout : WaitResult::kReady;
}

SocketHandle ListenLoopback(int backlog, uint16_t* port, std::string* why) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = ErrnoText("socket", errno);
    return kNoSocket;
  }
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *why = ErrnoText("listening on 127.0.0.1", errno);
    close(fd);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

DialResult ConnectLoopback(uint16_t port, int timeoutMs, SocketHandle* socket, std::string* why) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = ErrnoText("socket", errno);
    return DialResult::kFailed;
  }
  const sockaddr_in address = LoopbackAddress(port);
  int error = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    error = errno;
    if (error == EINPROGRESS || error == EINTR) {
      pollfd p = {fd, POLLOUT, 0};
      const int n = PollRetrying(&p, 1, timeoutMs);
      socklen_t length = sizeof(error);
      if (n == 0) {
        error = ETIMEDOUT;
      } else if (n < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  const std::string target = "127.0.0.1:" + std::to_string(port);
  if (error != 0) {
    close(fd);
    *why = ErrnoText("connect to " + target, error);
    if (error == ECONNREFUSED) {
      return DialResult::kRefused;
    }
    return error == ETIMEDOUT ? DialResult::kTimedOut : DialResult::kFailed;
  }
  NoDelay(fd);
  *socket = fd;
  return DialResult::kConnected;
}

SocketHandle AcceptSocket(SocketHandle listener, std::string* why) {
  const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    if (error != EINTR && error != EAGAIN && error != EWOULDBLOCK && error != ECONNABORTED) {
      *why = ErrnoText("accept", error);
    }
    return kNoSocket;
  }
  NoDelay(fd);  // refused, harmlessly, by a Unix-domain socket
  return fd;
}

}  // namespace ipc
