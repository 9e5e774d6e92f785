// tbxIpc: where the socket of a server name lives, and how to address it.
//
// The socket of server name N is <directory>/<N'>, N' being N with every byte outside
// [A-Za-z0-9._-] replaced by '_'. The directory is $TBX_IPC_DIR when that is set and not
// empty, otherwise the folder "ipc" beside the tbxIpc library.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <string>

#include "Export.h"

class TBXIPC_API CIpcEndpoint {
 public:
  static std::string DefaultDirectory();
  static std::string SanitizeName(const std::string& name);

  CIpcEndpoint() = default;
  ~CIpcEndpoint();  // closes the directory descriptor

  CIpcEndpoint(const CIpcEndpoint&) = delete;
  CIpcEndpoint& operator=(const CIpcEndpoint&) = delete;

  // Opens the directory of `name`'s endpoint: `directory`, or DefaultDirectory() when empty.
  // With `create`, a missing directory is made with mode 0700. Returns an IpcState; `why`
  // explains a failure.
  int32_t Open(const std::string& directory, const std::string& name, bool create,
               std::string* why);

  // The address to bind or connect: the full path when it fits a socket address, otherwise
  // an alias through the open directory descriptor. False when even the alias does not fit.
  bool Address(sockaddr_un* address, socklen_t* length) const;

  const std::string& path() const { return path_; }
  const std::string& fileName() const { return fileName_; }
  int directoryFd() const { return dirFd_; }

 private:
  int dirFd_ = -1;        // O_PATH descriptor of the directory, -1 before Open succeeded
  std::string path_;      // <directory>/<N'>
  std::string fileName_;  // N'
};
