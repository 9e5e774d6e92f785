#include "IpcEndpointFile.h"

#include "IpcFrame.h"
#include "IpcStates.h"
#include "IpcSystem.h"
#include "IpcToken.h"

namespace {

constexpr char kPrefix[] = "tcp ";
// "tcp 65535 " + the token + "\n", and one byte more to see that nothing follows.
constexpr size_t kReadLimit = sizeof(kPrefix) - 1 + 6 + kIpcTokenLength + 1 + 1;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string CIpcEndpointFile::Format() const {
  return kPrefix + std::to_string(port_) + " " + token_ + "\n";
}

bool CIpcEndpointFile::Parse(const std::string& text) {
  const size_t prefixLength = sizeof(kPrefix) - 1;
  if (text.compare(0, prefixLength, kPrefix) != 0) {
    return false;
  }
  size_t pos = prefixLength;
  uint32_t port = 0;
  const size_t digitsStart = pos;
  // Five digits at most, no leading zero: one spelling per port.
  while (pos < text.size() && IsDigit(text[pos]) && pos - digitsStart < 5) {
    port = port * 10 + static_cast<uint32_t>(text[pos] - '0');
    ++pos;
  }
  if (pos == digitsStart || (text[digitsStart] == '0') || port > 65535) {
    return false;
  }
  if (pos >= text.size() || text[pos] != ' ') {
    return false;
  }
  ++pos;
  if (text.size() != pos + kIpcTokenLength + 1 || text.back() != '\n') {
    return false;
  }
  std::string token = text.substr(pos, kIpcTokenLength);
  if (!ipc::IsTokenOrNonce(token)) {
    return false;
  }
  port_ = static_cast<uint16_t>(port);
  token_ = std::move(token);
  return true;
}

int32_t CIpcEndpointFile::Read(const std::string& path, std::string* why) {
  std::string text;
  switch (ipc::sys::ReadSmallFile(path, kReadLimit, &text, why)) {
    case ipc::sys::ReadResult::kRead:
      break;
    case ipc::sys::ReadResult::kAbsent:
      return kIpcNoServer;
    case ipc::sys::ReadResult::kFailed:
      return kIpcSystemError;
  }
  if (!Parse(text)) {
    *why = path + " is not an endpoint file";
    return kIpcNoServer;
  }
  return kIpcOk;
}

bool CIpcEndpointFile::Write(const std::string& path, std::string* why) const {
  return ipc::sys::ReplaceFileContent(path, Format(), why);
}
