#include "ThreadIdentity.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tbx {

uint64_t ThreadIdentity::CurrentId() {
  return static_cast<uint64_t>(::syscall(SYS_gettid));
}

void ThreadIdentity::SetSystemName(const std::string& name) {
  // The kernel keeps 15 bytes.
  ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace tbx
