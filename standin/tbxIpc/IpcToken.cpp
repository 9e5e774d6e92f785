#include "IpcToken.h"

#include "IpcFrame.h"
#include "IpcHmac.h"
#include "IpcSystem.h"

namespace ipc {

namespace {

const char kHexDigits[] = "0123456789abcdef";

std::string LowerHex(const unsigned char* bytes, size_t size) {
  std::string hex;
  hex.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kHexDigits[bytes[i] >> 4]);
    hex.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
  return hex;
}

bool Proof(char role, const std::string& token, const std::string& first, const std::string& second,
           std::string* proof, std::string* why) {
  std::string mac;
  if (!sys::HmacSha256(token, role + first + second, &mac, why)) {
    return false;
  }
  *proof = LowerHex(reinterpret_cast<const unsigned char*>(mac.data()), mac.size());
  return true;
}

}  // namespace

bool NewToken(std::string* token, std::string* why) {
  static_assert(kIpcTokenLength == kIpcNonceLength, "tokens and nonces are made alike");
  unsigned char bytes[kIpcTokenLength / 2];
  if (!sys::RandomBytes(bytes, sizeof(bytes), why)) {
    return false;
  }
  *token = LowerHex(bytes, sizeof(bytes));
  return true;
}

bool NewNonce(std::string* nonce, std::string* why) {
  return NewToken(nonce, why);
}

bool IsTokenOrNonce(const std::string& text) {
  if (text.size() != kIpcTokenLength) {
    return false;
  }
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
      return false;
    }
  }
  return true;
}

bool ServerProof(const std::string& token, const std::string& clientNonce,
                 const std::string& serverNonce, std::string* proof, std::string* why) {
  return Proof('S', token, clientNonce, serverNonce, proof, why);
}

bool ClientProof(const std::string& token, const std::string& clientNonce,
                 const std::string& serverNonce, std::string* proof, std::string* why) {
  return Proof('C', token, serverNonce, clientNonce, proof, why);
}

bool ProofMatches(const std::string& offered, const std::string& expected) {
  // The length is no secret: every proof has the same one.
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
