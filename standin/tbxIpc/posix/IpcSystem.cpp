#include "IpcSystem.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace ipc::sys {

namespace {

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// /dev/urandom, for kernels older than getrandom(2).
bool ReadUrandom(unsigned char* out, size_t size, std::string* why) {
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = ErrnoText("/dev/urandom");
    return false;
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      *why = ErrnoText("reading /dev/urandom");
      close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  return true;
}

}  // namespace

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

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

bool MakePrivateDirectory(const std::string& dir, std::string* why) {
  if (mkdir(dir.c_str(), 0700) == 0) {
    return true;
  }
  if (errno != EEXIST) {
    *why = ErrnoText("cannot create " + dir);
    return false;
  }
  // One that was there already (made by hand, or by an older installer) must become private
  // too: it holds the endpoints and their tokens.
  struct stat info = {};
  if (stat(dir.c_str(), &info) != 0) {
    *why = ErrnoText("cannot inspect " + dir);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    *why = dir + " is not a directory";
    return false;
  }
  if (info.st_uid != geteuid()) {
    *why = dir + " belongs to another user";
    return false;
  }
  if ((info.st_mode & 07777) != 0700 && chmod(dir.c_str(), 0700) != 0) {
    *why = ErrnoText("cannot make " + dir + " private");
    return false;
  }
  return true;
}

ReadResult ReadSmallFile(const std::string& path, size_t limit, std::string* content,
                         std::string* why) {
  content->clear();
  // O_NONBLOCK: a FIFO planted at the path must not hold the reader.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *why = ErrnoText(path);
    // ENXIO: a socket file, such as a Unix-domain server leaves.
    return errno == ENOENT || errno == ENOTDIR || errno == ENXIO ? ReadResult::kAbsent
                                                                 : ReadResult::kFailed;
  }
  struct stat info = {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *why = path + " is not a regular file";
    close(fd);
    return ReadResult::kAbsent;
  }
  char buffer[256];
  while (content->size() < limit) {
    const ssize_t n = read(fd, buffer, std::min(sizeof(buffer), limit - content->size()));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      *why = ErrnoText("reading " + path);
      close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) {
      break;
    }
    content->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ReadResult::kRead;
}

bool ReplaceFileContent(const std::string& path, const std::string& content, std::string* why) {
  const std::string temporary = path + "~new";
  // A fresh file, so it has this mode and owner whatever a writer that died left there.
  unlink(temporary.c_str());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = ErrnoText("cannot create " + temporary);
    return false;
  }
  const bool written = WriteAll(fd, content);
  if (close(fd) != 0 || !written) {
    *why = ErrnoText("cannot write " + temporary);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    *why = ErrnoText("cannot rename " + temporary + " to " + path);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveFile(const std::string& path) {
  unlink(path.c_str());
}

bool RandomBytes(void* buffer, size_t size, std::string* why) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = getrandom(out + done, size - done, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno == ENOSYS) {
      return ReadUrandom(out + done, size - done, why);
    }
    if (n <= 0) {
      *why = ErrnoText("getrandom");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void NameCurrentThread(const char* name) {
  pthread_setname_np(pthread_self(), name);
}

}  // namespace ipc::sys
