#include "IpcHmac.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace ipc::sys {

bool HmacSha256(const std::string& key, const std::string& message, std::string* mac,
                std::string* why) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(message.data()), message.size(), out,
           &size) == nullptr ||
      size != kHmacSha256Size) {
    char text[256] = "unknown error";
    ERR_error_string_n(ERR_get_error(), text, sizeof(text));
    *why = std::string("HMAC-SHA256: ") + text;
    return false;
  }
  mac->assign(reinterpret_cast<const char*>(out), size);
  return true;
}

}  // namespace ipc::sys
