#include "IpcWaker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

CIpcWaker::~CIpcWaker() {
  if (handle_ != ipc::kNoSocket) {
    close(static_cast<int>(handle_));
  }
}

bool CIpcWaker::Open(std::string* why) {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    *why = std::string("eventfd: ") + std::strerror(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

void CIpcWaker::Wake() {
  const uint64_t one = 1;
  if (write(static_cast<int>(handle_), &one, sizeof(one)) < 0) {
    // The counter is already non-zero, which wakes the waiter just as well.
  }
}

void CIpcWaker::Drain() {
  uint64_t count = 0;
  if (read(static_cast<int>(handle_), &count, sizeof(count)) < 0) {
    // Drained by an earlier read; nothing to do.
  }
}
