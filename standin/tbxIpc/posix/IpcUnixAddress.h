// tbxIpc: the socket address of a Unix-domain endpoint.
//
// A socket address holds at most 108 bytes and installation paths can be longer: a path that
// does not fit is reached through a short alias of its directory
// (/proc/self/fd/<descriptor of the directory>/<N'>), never by truncating it.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <string>

#include "Export.h"
#include "tbxIpc/IpcEndpoint.h"

class TBXIPC_API CIpcUnixAddress {
 public:
  CIpcUnixAddress() = default;
  ~CIpcUnixAddress();  // closes the directory descriptor

  CIpcUnixAddress(const CIpcUnixAddress&) = delete;
  CIpcUnixAddress& operator=(const CIpcUnixAddress&) = delete;

  // Opens the endpoint's directory. Returns an IpcState: kIpcNoServer when the directory
  // cannot be opened, kIpcInvalidArgument when even the alias would not fit.
  int32_t Open(const CIpcEndpoint& endpoint, std::string* why);

  // The address to bind or connect: the full path when it fits, otherwise the alias.
  bool Address(sockaddr_un* address, socklen_t* length) const;

  int directoryFd() const { return dirFd_; }

 private:
  int dirFd_ = -1;        // O_PATH descriptor of the directory, -1 before Open succeeded
  std::string path_;      // <directory>/<N'>
  std::string fileName_;  // N'
};
