// The tbxIpc test helpers that POSIX does its own way: Unix-domain raw peers, directory modes.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IpcTestSupport.h"

namespace ipctest {

namespace {

bool FillAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) {
    return false;
  }
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

}  // namespace

RawSocket ConnectUnixRaw(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    return ipc::kNoSocket;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return ipc::kNoSocket;
  }
  return fd;
}

RawSocket ListenUnixRaw(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, &address)) {
    return ipc::kNoSocket;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
                  listen(fd, 4) != 0)) {
    close(fd);
    return ipc::kNoSocket;
  }
  return fd;
}

bool MakePrivateDir(const std::string& dir) {
  return mkdir(dir.c_str(), 0700) == 0;
}

bool MakeSharedDir(const std::string& dir) {
  return mkdir(dir.c_str(), 0777) == 0 && chmod(dir.c_str(), 0777) == 0;  // past the umask
}

bool OnlyTheUserMayAccess(const std::string& path, std::string* why) {
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) {
    *why = path + ": " + std::strerror(errno);
    return false;
  }
  const mode_t expected = S_ISDIR(info.st_mode) ? 0700 : 0600;
  if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) {
    *why = path + " is neither a regular file nor a directory";
    return false;
  }
  if ((info.st_mode & 0777) != expected || info.st_uid != geteuid()) {
    char text[64];
    std::snprintf(text, sizeof(text), " has mode %03o (%03o expected) and owner %u",
                  static_cast<unsigned>(info.st_mode & 0777), static_cast<unsigned>(expected),
                  static_cast<unsigned>(info.st_uid));
    *why = path + text;
    return false;
  }
  return true;
}

std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

}  // namespace ipctest
