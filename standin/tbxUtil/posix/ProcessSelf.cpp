#include "ProcessSelf.h"

#include <errno.h>
#include <unistd.h>

#include <vector>

#include "tbx/StringUtil.h"

namespace tbx {

std::string ProcessSelf::ExecutablePath() {
  // A replaced executable's link ends in " (deleted)".
  std::vector<char> buffer(4096);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
    return std::string();
  }
  std::string text(buffer.data(), static_cast<size_t>(length));
  const std::string deleted = " (deleted)";
  if (CStringUtil::stringEndWith(text, deleted, false)) {
    text.resize(text.size() - deleted.size());
  }
  return text;
}

void ProcessSelf::ExitNow(int status) {
  ::_exit(status);
}

uint64_t ProcessSelf::Id() {
  return static_cast<uint64_t>(::getpid());
}

uint32_t ProcessSelf::LastErrorCode() {
  return static_cast<uint32_t>(errno);
}

}  // namespace tbx
