#include "IpcUnixAddress.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "IpcStates.h"

CIpcUnixAddress::~CIpcUnixAddress() {
  if (dirFd_ >= 0) {
    close(dirFd_);
  }
}

int32_t CIpcUnixAddress::Open(const CIpcEndpoint& endpoint, std::string* why) {
  path_ = endpoint.path();
  fileName_ = endpoint.fileName();
  const int fd = open(endpoint.directory().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + endpoint.directory() + ": " + std::strerror(errno);
    return kIpcNoServer;
  }
  if (dirFd_ >= 0) {
    close(dirFd_);
  }
  dirFd_ = fd;
  sockaddr_un probe;
  socklen_t length = 0;
  if (!Address(&probe, &length)) {
    *why = "server name '" + endpoint.name() + "' is too long for a socket address";
    return kIpcInvalidArgument;
  }
  return kIpcOk;
}

bool CIpcUnixAddress::Address(sockaddr_un* address, socklen_t* length) const {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  std::string chosen = path_;
  // One byte stays free for the terminating zero.
  if (chosen.size() >= sizeof(address->sun_path)) {
    if (dirFd_ < 0) {
      return false;
    }
    chosen = "/proc/self/fd/" + std::to_string(dirFd_) + "/" + fileName_;
    if (chosen.size() >= sizeof(address->sun_path)) {
      return false;
    }
  }
  std::memcpy(address->sun_path, chosen.data(), chosen.size());
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + chosen.size() + 1);
  return true;
}
