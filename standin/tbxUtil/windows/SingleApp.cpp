// The guard is a named mutex whose name holds the guard name, the guard path and the extra
// text. The system destroys it with its last handle, so a crashed instance never blocks the
// next one; the handle is not inherited by started programs.
#include <windows.h>

#include "WideText.h"
#include "tbx/SingleApp.h"

namespace tbx {
namespace {

// Object names may not hold "\" (it separates namespaces) and are at most MAX_PATH long.
std::wstring MutexName(const std::string& name, const std::string& path, const std::string& extra) {
  std::wstring text = windows::Widen(name + "|" + path + "|" + extra);
  for (wchar_t& c : text) {
    if (c == L'\\') {
      c = L'/';
    }
  }
  if (text.size() > MAX_PATH - 8) {
    text.resize(MAX_PATH - 8);
  }
  return L"Local\\" + text;
}

}  // namespace

CSingleApp::CSingleApp(const std::string& name, const std::string& path, const std::string& extra)
    : lockHandle_(-1), otherOwner_(false) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexName(name, path, extra).c_str());
  if (mutex == nullptr) {
    // Another process made an object of that name that this user may not open: it runs.
    otherOwner_ = ::GetLastError() == ERROR_ACCESS_DENIED;
    return;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    otherOwner_ = true;
    ::CloseHandle(mutex);
    return;
  }
  lockHandle_ = reinterpret_cast<intptr_t>(mutex);
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
