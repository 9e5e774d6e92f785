#include "CrashDump.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "PosixIo.h"

namespace tbx {
namespace {

constexpr int kMaxFrames = 128;

// A fixed buffer that renders text and numbers without allocating.
class LineBuffer {
 public:
  LineBuffer& Text(const char* text) {
    while (*text != '\0' && used_ < sizeof(data_)) {
      data_[used_++] = *text++;
    }
    return *this;
  }
  LineBuffer& Unsigned(uint64_t value, unsigned base) {
    char digits[32];
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[value % base];
      value /= base;
    } while (value != 0);
    if (base == 16) {
      Text("0x");
    }
    while (count > 0 && used_ < sizeof(data_)) {
      data_[used_++] = digits[--count];
    }
    return *this;
  }
  LineBuffer& Signed(int64_t value) {
    if (value < 0) {
      Text("-");
      return Unsigned(0 - static_cast<uint64_t>(value), 10);
    }
    return Unsigned(static_cast<uint64_t>(value), 10);
  }
  bool WriteTo(int fd) {
    bool ok = posix::WriteAll(fd, data_, used_);
    used_ = 0;
    return ok;
  }

 private:
  char data_[512];
  size_t used_ = 0;  // bytes of data_ in use
};

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGILL:
      return "SIGILL";
    case SIGFPE:
      return "SIGFPE";
    case SIGABRT:
      return "SIGABRT";
    default:
      return "other";
  }
}

bool CopyFile(const char* source, int out) {
  int in = ::open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    return false;
  }
  posix::ScopedFd closer(in);
  char chunk[4096];
  for (;;) {
    ssize_t got = ::read(in, chunk, sizeof(chunk));
    if (got == 0) {
      return true;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (!posix::WriteAll(out, chunk, static_cast<size_t>(got))) {
      return false;
    }
  }
}

bool WriteHeader(int fd, int signal, const siginfo_t* info, int64_t code) {
  LineBuffer line;
  struct timespec now = {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  line.Text("process dump\ntime: ").Signed(now.tv_sec).Text("\npid: ").Signed(::getpid());
  line.Text("\nthread: ").Signed(::syscall(SYS_gettid)).Text("\n");
  if (signal == 0) {
    line.Text("signal: none (dump on request)\n");
  } else {
    line.Text("signal: ").Signed(signal).Text(" (").Text(SignalName(signal)).Text(")\n");
  }
  line.Text("code: ").Unsigned(static_cast<uint64_t>(code), 16).Text(" (").Signed(code);
  line.Text(")\n");
  if (info != nullptr) {
    line.Text("signal code: ").Signed(info->si_code).Text("\n");
    if (signal == SIGABRT) {
      line.Text("sent by pid: ").Signed(info->si_pid).Text("\n");
    } else {
      line.Text("address: ").Unsigned(reinterpret_cast<uintptr_t>(info->si_addr), 16).Text("\n");
    }
  }
  return line.WriteTo(fd);
}

}  // namespace

void CrashDump::Prepare() {
  void* frames[2];
  ::backtrace(frames, 2);
}

int CrashDump::Write(const char* path, int signal, const siginfo_t* info, int64_t code) {
  if (path == nullptr || *path == '\0') {
    return EINVAL;
  }
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    return errno != 0 ? errno : EIO;
  }
  posix::ScopedFd closer(fd);
  bool ok = WriteHeader(fd, signal, info, code);
  LineBuffer line;
  ok = line.Text("\nback trace:\n").WriteTo(fd) && ok;
  void* frames[kMaxFrames];
  int count = ::backtrace(frames, kMaxFrames);
  ::backtrace_symbols_fd(frames, count, fd);
  ok = line.Text("\nmemory map:\n").WriteTo(fd) && ok;
  ok = CopyFile("/proc/self/maps", fd) && ok;
  ok = ::fsync(fd) == 0 && ok;
  ok = closer.Close() && ok;
  return ok ? 0 : (errno != 0 ? errno : EIO);
}

}  // namespace tbx
