// tbxIpc: HMAC-SHA256 from the system's cryptography, one implementation per system (posix/
// over libcrypto, windows/ over BCrypt). Never computed by the library's own code.
#pragma once

#include <cstddef>
#include <string>

namespace ipc::sys {

// Bytes of an HMAC-SHA256.
constexpr size_t kHmacSha256Size = 32;

// HMAC-SHA256(key, message), kHmacSha256Size bytes, into `mac`. False, with the reason, when
// the system cannot compute it.
bool HmacSha256(const std::string& key, const std::string& message, std::string* mac,
                std::string* why);

}  // namespace ipc::sys
