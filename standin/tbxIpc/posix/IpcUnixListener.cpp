#include "IpcUnixListener.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "IpcPeerCheck.h"
#include "IpcStates.h"

namespace {

constexpr int kListenBacklog = 16;

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

CIpcUnixListener::~CIpcUnixListener() {
  Close();
}

int32_t CIpcUnixListener::Open(std::string* why) {
  const int32_t state = address_.Open(endpoint_, why);
  if (state != kIpcOk) {
    return state == kIpcNoServer ? kIpcSystemError : state;
  }
  // The name's lock is held, so a file there is left over from a server that is gone.
  if (unlinkat(address_.directoryFd(), endpoint_.fileName().c_str(), 0) != 0 && errno != ENOENT) {
    *why = ErrnoText("removing the stale " + endpoint_.path());
    return kIpcSystemError;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = ErrnoText("socket");
    return kIpcSystemError;
  }
  socket_ = fd;
  sockaddr_un address;
  socklen_t length = 0;
  address_.Address(&address, &length);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    *why = ErrnoText("bind " + endpoint_.path());
    ipc::CloseSocket(socket_);
    socket_ = ipc::kNoSocket;
    return kIpcSystemError;
  }
  if (listen(fd, kListenBacklog) != 0) {
    *why = ErrnoText("listen");
    Close();
    return kIpcSystemError;
  }
  return kIpcOk;
}

ipc::SocketHandle CIpcUnixListener::Accept(std::string* why) {
  const ipc::SocketHandle accepted = ipc::AcceptSocket(socket_, why);
  if (accepted == ipc::kNoSocket) {
    return accepted;
  }
  if (!ipc::CheckSocketPeer(static_cast<int>(accepted), why)) {
    ipc::CloseSocket(accepted);
    return ipc::kNoSocket;
  }
  return accepted;
}

void CIpcUnixListener::Close() {
  if (socket_ == ipc::kNoSocket) {
    return;
  }
  ipc::CloseSocket(socket_);
  socket_ = ipc::kNoSocket;
  unlinkat(address_.directoryFd(), endpoint_.fileName().c_str(), 0);
}
