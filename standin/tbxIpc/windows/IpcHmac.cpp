#include <windows.h>

#include <bcrypt.h>

#include "IpcHmac.h"

namespace ipc::sys {

namespace {

std::string StatusText(const char* call, NTSTATUS status) {
  return std::string(call) + ": status " + std::to_string(static_cast<long>(status));
}

// The HMAC-SHA256 provider, opened once for the life of the process: opening one costs far
// more than a hash, and one handle serves every thread.
struct Provider {
  Provider() {
    status = BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr,
                                         BCRYPT_ALG_HANDLE_HMAC_FLAG);
  }
  BCRYPT_ALG_HANDLE handle = nullptr;
  NTSTATUS status = 0;
};

}  // namespace

bool HmacSha256(const std::string& key, const std::string& message, std::string* mac,
                std::string* why) {
  static const Provider provider;
  if (!BCRYPT_SUCCESS(provider.status)) {
    *why = StatusText("BCryptOpenAlgorithmProvider", provider.status);
    return false;
  }
  // The system allocates the hash object itself (no object buffer), as it does from Windows 7.
  BCRYPT_HASH_HANDLE hash = nullptr;
  auto* keyBytes = reinterpret_cast<PUCHAR>(const_cast<char*>(key.data()));
  NTSTATUS status = BCryptCreateHash(provider.handle, &hash, nullptr, 0, keyBytes,
                                     static_cast<ULONG>(key.size()), 0);
  const char* call = "BCryptCreateHash";
  if (BCRYPT_SUCCESS(status)) {
    auto* messageBytes = reinterpret_cast<PUCHAR>(const_cast<char*>(message.data()));
    status = BCryptHashData(hash, messageBytes, static_cast<ULONG>(message.size()), 0);
    call = "BCryptHashData";
  }
  unsigned char out[kHmacSha256Size];
  if (BCRYPT_SUCCESS(status)) {
    status = BCryptFinishHash(hash, out, sizeof(out), 0);
    call = "BCryptFinishHash";
  }
  if (hash != nullptr) {
    BCryptDestroyHash(hash);
  }
  if (!BCRYPT_SUCCESS(status)) {
    *why = StatusText(call, status);
    return false;
  }
  mac->assign(reinterpret_cast<const char*>(out), sizeof(out));
  return true;
}

}  // namespace ipc::sys
