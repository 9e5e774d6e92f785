// The guard is a named mutex (see GuardName.h for its name). It lets only SYSTEM, the
// Administrators and the account that made it open it. The system destroys it with its last
// handle, so a crashed instance never blocks the next one; the handle is not inherited by
// started programs.
//
// An object of that name that this process did not make counts as another instance, whatever
// it is: a running instance's mutex, a mutex made by someone who lets us not open it, or an
// object of another type. A planted name therefore stops start-up with the usual record rather
// than letting a second instance run unguarded. So does a system that lets this process make no
// global object (an account without the right to create global objects): without the mutex
// nothing could tell a second instance.
#include <windows.h>
// after windows.h
#include <sddl.h>

#include "GuardName.h"
#include "tbx/SingleApp.h"

namespace tbx {
namespace {

// The text form of this process's account, "" when the token cannot be read.
std::wstring OwnAccount() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return std::wstring();
  }
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  wchar_t* text = nullptr;
  std::wstring account;
  if (::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &length) &&
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    account = text;
    ::LocalFree(text);
  }
  ::CloseHandle(token);
  return account;
}

// Full access for SYSTEM, the Administrators and this account; nobody else, nothing inherited.
PSECURITY_DESCRIPTOR GuardSecurity() {
  std::wstring text = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
  const std::wstring account = OwnAccount();
  if (!account.empty()) {
    text += L"(A;;GA;;;" + account + L")";
  }
  PSECURITY_DESCRIPTOR security = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                              &security, nullptr)) {
    return nullptr;
  }
  return security;
}

}  // namespace

CSingleApp::CSingleApp(const std::string& name, const std::string& path, const std::string& extra)
    : lockHandle_(-1), otherOwner_(true) {
  PSECURITY_DESCRIPTOR security = GuardSecurity();
  if (security == nullptr) {
    return;  // a mutex anyone could open would be no guard
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), security, FALSE};
  HANDLE mutex = ::CreateMutexW(&attributes, FALSE, windows::GuardName(name, path, extra).c_str());
  const DWORD error = ::GetLastError();
  ::LocalFree(security);
  if (mutex == nullptr) {
    return;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return;
  }
  lockHandle_ = reinterpret_cast<intptr_t>(mutex);
  otherOwner_ = false;
}

CSingleApp::~CSingleApp() {
  if (lockHandle_ != -1) {
    ::CloseHandle(reinterpret_cast<HANDLE>(lockHandle_));
  }
}

bool CSingleApp::IsRunning() const {
  return otherOwner_;
}

}  // namespace tbx
