// Small POSIX helpers shared inside the utility library; all are async-signal-safe.
#pragma once

#include <cstddef>

namespace tbx::posix {

// Writes all `size` bytes, retrying after interruptions and short writes; false on an error.
bool WriteAll(int fd, const char* data, size_t size);

// Opens `path` for reading and writing, creating it with mode 0644 when it does not exist,
// without handing the descriptor to executed programs; -1 on failure.
int OpenOrCreate(const char* path);

// Owns a descriptor and closes it on every path out of a scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() { Close(); }
  int get() const { return fd_; }
  // Closes now, reporting the result; later destruction does nothing.
  bool Close();

 private:
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int fd_;  // owned descriptor, or -1
};

}  // namespace tbx::posix
