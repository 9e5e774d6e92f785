// tbxIpc: where the endpoint of a server name lives.
//
// The endpoint of server name N is the file <directory>/<N'>, N' being N with every byte
// outside [A-Za-z0-9._-] replaced by '_': a Unix-domain socket, or on the loopback transport
// a small file naming the port and the token. The directory is $TBX_IPC_DIR when that is set
// and not empty, otherwise the folder "ipc" beside the tbxIpc library.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

class TBXIPC_API CIpcEndpoint {
 public:
  static std::string DefaultDirectory();
  static std::string SanitizeName(const std::string& name);

  CIpcEndpoint() = default;

  // Resolves `name` in `directory`, or in DefaultDirectory() when that is empty. With
  // `create`, a missing directory is made for the current user alone. Returns an IpcState;
  // `why` explains a failure.
  int32_t Open(const std::string& directory, const std::string& name, bool create,
               std::string* why);

  const std::string& directory() const { return directory_; }
  const std::string& path() const { return path_; }          // <directory>/<N'>
  const std::string& fileName() const { return fileName_; }  // N'
  const std::string& name() const { return name_; }          // N

 private:
  std::string directory_;
  std::string path_;
  std::string fileName_;
  std::string name_;
};
