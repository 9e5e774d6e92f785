#include "IpcToken.h"

#include "IpcFrame.h"
#include "IpcSystem.h"

namespace ipc {

bool NewToken(std::string* token, std::string* why) {
  unsigned char bytes[kIpcTokenLength / 2];
  if (!sys::RandomBytes(bytes, sizeof(bytes), why)) {
    return false;
  }
  static const char kDigits[] = "0123456789abcdef";
  token->clear();
  for (unsigned char b : bytes) {
    token->push_back(kDigits[b >> 4]);
    token->push_back(kDigits[b & 0x0F]);
  }
  return true;
}

bool TokenMatches(const std::string& offered, const std::string& expected) {
  // The length is no secret: every token has the same one.
  if (offered.size() != expected.size()) {
    return false;
  }
  unsigned char difference = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(offered[i] ^ expected[i]);
  }
  return difference == 0;
}

}  // namespace ipc
