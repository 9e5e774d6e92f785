// The guard is an exclusive advisory lock (flock) on a file at the guard path. The kernel
// drops the lock when the holder ends, however it ends, so a crashed instance never blocks
// the next one. When the path is empty or cannot be opened, the file is derived in /tmp from
// the name and the extra text. The descriptor is not inherited by executed programs.
#include "tbx/SingleApp.h"

#include <errno.h>
#include <sys/file.h>
#include <unistd.h>

#include "PosixIo.h"
#include "tbx/StringUtil.h"
#include "tbx/TimerEvent.h"

namespace tbx {
namespace {

std::string FallbackPath(const std::string& name, const std::string& extra) {
  uint64_t hash = CTimerEvent::StringToMagicNum(name + "\n" + extra);
  return "/tmp/tbx_single_app_" + CStringUtil::UIntToString(hash, nullptr, 16) + ".lock";
}

}  // namespace

CSingleApp::CSingleApp(const std::string& name, const std::string& path, const std::string& extra)
    : lockHandle_(-1), otherOwner_(false) {
  int fd = path.empty() ? -1 : posix::OpenOrCreate(path.c_str());
  if (fd < 0) {
    fd = posix::OpenOrCreate(FallbackPath(name, extra).c_str());
  }
  if (fd < 0) {
    return;  // no file to lock anywhere: nothing can be detected, so nobody else holds it
  }
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    lockHandle_ = fd;
    return;
  }
  otherOwner_ = errno == EWOULDBLOCK;
  ::close(fd);
}

CSingleApp::~CSingleApp() {
  if (lockHandle_ >= 0) {
    ::close(static_cast<int>(lockHandle_));  // releases the lock
  }
}

bool CSingleApp::IsRunning() const {
  return otherOwner_;
}

}  // namespace tbx
