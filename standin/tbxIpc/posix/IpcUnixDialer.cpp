#include "IpcUnixDialer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "IpcPeerCheck.h"
#include "IpcStates.h"
#include "IpcUnixAddress.h"

namespace ipc {

int32_t DialUnix(const CIpcEndpoint& endpoint, int timeoutMs,
                 std::unique_ptr<CIpcConnection>* connection, std::string* why) {
  CIpcUnixAddress unixAddress;
  const int32_t state = unixAddress.Open(endpoint, why);
  if (state != kIpcOk) {
    return state;
  }
  sockaddr_un address;
  socklen_t length = 0;
  unixAddress.Address(&address, &length);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *why = std::string("socket: ") + std::strerror(errno);
    return kIpcSystemError;
  }
  // A server that stopped accepting must not hold the caller forever: a full backlog makes
  // connect wait at most this long.
  const timeval connectTimeout = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &connectTimeout, sizeof(connectTimeout));
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int error = errno;
    close(fd);
    *why = "connect to " + endpoint.path() + ": " + std::strerror(error);
    if (error == ENOENT || error == ECONNREFUSED || error == ENOTDIR) {
      return kIpcNoServer;
    }
    return error == EAGAIN ? kIpcHandshakeFailed : kIpcSystemError;
  }
  if (!CheckSocketPeer(fd, why)) {
    close(fd);
    *why = "connect to " + endpoint.path() + " refused: " + *why;
    return kIpcPeerRejected;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  *connection = std::make_unique<CIpcConnection>(fd, CIpcFrameDecoder::Side::kClient);
  return kIpcOk;
}

}  // namespace ipc
