#include "PosixIo.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace tbx::posix {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

int OpenOrCreate(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool ScopedFd::Close() {
  int fd = fd_;
  fd_ = -1;
  return fd < 0 || ::close(fd) == 0;
}

}  // namespace tbx::posix
