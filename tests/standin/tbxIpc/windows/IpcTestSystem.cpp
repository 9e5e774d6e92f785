// The tbxIpc test helpers that Windows does its own way: no Unix-domain sockets (loopback TCP
// is the only transport), access lists instead of modes.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "IpcTestSupport.h"
#include "tbxUtil/windows/WideText.h"

namespace ipctest {

namespace {

std::string Failed(const std::string& what, DWORD error) {
  return what + ": error " + std::to_string(error);
}

// The current user's SID, in `buffer`; false when the token cannot be read.
bool CurrentUser(std::unique_ptr<BYTE[]>* buffer, PSID* sid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer->reset(new BYTE[size > 0 ? size : 1]);
  const bool read = ::GetTokenInformation(token, TokenUser, buffer->get(), size, &size) != 0;
  ::CloseHandle(token);
  *sid = read ? reinterpret_cast<TOKEN_USER*>(buffer->get())->User.Sid : nullptr;
  return read;
}

}  // namespace

RawSocket ConnectUnixRaw(const std::string&) {
  return ipc::kNoSocket;
}

RawSocket ListenUnixRaw(const std::string&) {
  return ipc::kNoSocket;
}

bool MakePrivateDir(const std::string& dir) {
  // Only the tests' own temporary directories are made here; the server's access list is
  // what the tests check, not this one's.
  return ::CreateDirectoryW(tbx::windows::Widen(dir).c_str(), nullptr) != 0;
}

bool MakeSharedDir(const std::string& dir) {
  // Everyone ("WD") may do anything, here and below.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  const bool made = ::CreateDirectoryW(tbx::windows::Widen(dir).c_str(), &attributes) != 0;
  ::LocalFree(descriptor);
  return made;
}

bool OnlyTheUserMayAccess(const std::string& path, std::string* why) {
  std::unique_ptr<BYTE[]> userBuffer;
  PSID user = nullptr;
  if (!CurrentUser(&userBuffer, &user)) {
    *why = Failed("reading the current user", ::GetLastError());
    return false;
  }
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetNamedSecurityInfoW(tbx::windows::Widen(path).c_str(), SE_FILE_OBJECT,
                                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                              nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    *why = Failed("reading the access list of " + path, error);
    return false;
  }
  // The list as it is in force, inherited entries included. Wine keeps no access list of its
  // own: it maps the one given to the file's Unix mode and shows one made from that mode, with
  // an entry for LocalSystem added. LocalSystem and the Administrators reach every file on
  // Windows anyway.
  PSID system = nullptr;
  PSID administrators = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
  ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                             0, 0, 0, &administrators);
  const auto allowed = [&](PSID trustee) {
    for (PSID sid : {user, system, administrators}) {
      if (sid != nullptr && ::EqualSid(trustee, sid)) {
        return true;
      }
    }
    return false;
  };
  bool only = true;
  if (dacl == nullptr) {
    *why = path + " has no access list: everyone may reach it";
    only = false;
  }
  for (DWORD i = 0; only && i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    ::GetAce(dacl, i, &entry);
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      continue;  // a denying entry grants no one anything
    }
    PSID trustee = &static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart;
    if (!allowed(trustee)) {
      *why = path + ": entry " + std::to_string(i) + " grants access to another account";
      only = false;
    }
  }
  if (only && dacl->AceCount == 0) {
    *why = path + " has an empty access list: not even the user may reach it";
    only = false;
  }
  LPWSTR sddl = nullptr;
  if (!only && ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                   descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
    *why += " (" + tbx::windows::Narrow(sddl) + ")";
    ::LocalFree(sddl);
  }
  ::LocalFree(descriptor);
  ::FreeSid(system);
  ::FreeSid(administrators);
  return only;
}

std::string CanonicalPath(const std::string& path) {
  wchar_t full[MAX_PATH + 1] = {};
  const DWORD length =
      ::GetFullPathNameW(tbx::windows::Widen(path).c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length <= MAX_PATH ? tbx::windows::Narrow(std::wstring(full, length)) : "";
}

}  // namespace ipctest
