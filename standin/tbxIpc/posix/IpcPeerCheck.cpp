#include "IpcPeerCheck.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ipc {

bool IsTrustedPeerUid(uid_t peerUid, uid_t ownUid) {
  return peerUid == ownUid || peerUid == 0;
}

bool CheckSocketPeer(int fd, std::string* why) {
  struct ucred cred = {};
  socklen_t length = sizeof(cred);
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || length != sizeof(cred)) {
    *why = std::string("cannot read the peer's credentials: ") + std::strerror(errno);
    return false;
  }
  const uid_t own = geteuid();
  if (!IsTrustedPeerUid(cred.uid, own)) {
    *why = "peer uid " + std::to_string(cred.uid) + " (pid " + std::to_string(cred.pid) +
           ") is neither uid " + std::to_string(own) + " nor root";
    return false;
  }
  return true;
}

}  // namespace ipc
