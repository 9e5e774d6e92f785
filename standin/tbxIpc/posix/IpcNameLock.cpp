#include "IpcNameLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "IpcStates.h"

CIpcNameLock::~CIpcNameLock() {
  if (handle_ >= 0) {
    close(static_cast<int>(handle_));
  }
}

int32_t CIpcNameLock::Acquire(const std::string& path, std::string* why) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = "lock file " + path + ": " + std::strerror(errno);
    return kIpcSystemError;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) {
      *why = "a live server holds " + path;
      return kIpcNameInUse;
    }
    *why = "locking " + path + ": " + std::strerror(error);
    return kIpcSystemError;
  }
  handle_ = fd;
  return kIpcOk;
}
