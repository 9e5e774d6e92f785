#include "IpcEndpoint.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "IpcStates.h"

namespace {

std::string LibraryDirectory() {
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 || info.dli_fname == nullptr) {
    return ".";
  }
  char resolved[PATH_MAX];
  std::string file = info.dli_fname;
  if (realpath(info.dli_fname, resolved) != nullptr) {
    file = resolved;
  }
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : file.substr(0, slash);
}

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

std::string CIpcEndpoint::DefaultDirectory() {
  const char* overridden = std::getenv("TBX_IPC_DIR");
  if (overridden != nullptr && overridden[0] != '\0') {
    return overridden;
  }
  const std::string dir = LibraryDirectory();
  return dir == "/" ? "/ipc" : dir + "/ipc";
}

std::string CIpcEndpoint::SanitizeName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (!IsNameByte(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return out;
}

CIpcEndpoint::~CIpcEndpoint() {
  if (dirFd_ >= 0) {
    close(dirFd_);
  }
}

int32_t CIpcEndpoint::Open(const std::string& directory, const std::string& name, bool create,
                           std::string* why) {
  fileName_ = SanitizeName(name);
  // "." and ".." would name the directory itself or its parent, not a socket in it.
  if (fileName_.empty() || fileName_ == "." || fileName_ == "..") {
    *why = "invalid server name '" + name + "'";
    return kIpcInvalidArgument;
  }
  const std::string dir = directory.empty() ? DefaultDirectory() : directory;
  path_ = dir + "/" + fileName_;
  if (create && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot create " + dir + ": " + std::strerror(errno);
    return kIpcSystemError;
  }
  const int fd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *why = "cannot open " + dir + ": " + std::strerror(errno);
    return create ? kIpcSystemError : kIpcNoServer;
  }
  if (dirFd_ >= 0) {
    close(dirFd_);
  }
  dirFd_ = fd;
  sockaddr_un probe;
  socklen_t length = 0;
  if (!Address(&probe, &length)) {
    *why = "server name '" + name + "' is too long for a socket address";
    return kIpcInvalidArgument;
  }
  return kIpcOk;
}

bool CIpcEndpoint::Address(sockaddr_un* address, socklen_t* length) const {
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
