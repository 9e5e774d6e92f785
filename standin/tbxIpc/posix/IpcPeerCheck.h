// tbxIpc: who may be on the other end of a Unix-domain connection.
#pragma once

#include <sys/types.h>

#include <string>

#include "Export.h"

namespace ipc {

// A peer is trusted when it runs as the same user as this process or as root.
TBXIPC_API bool IsTrustedPeerUid(uid_t peerUid, uid_t ownUid);

// Reads the peer's uid of a connected local socket and checks it against this process's
// effective uid. False, with the reason in `why`, when the uid cannot be read or is not trusted.
TBXIPC_API bool CheckSocketPeer(int fd, std::string* why);

}  // namespace ipc
