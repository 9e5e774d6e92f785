#include "ProcessSelf.h"

#include <windows.h>

#include <vector>

#include "CanonicalPath.h"
#include "WideText.h"

namespace tbx {

// Canonical, as the process service reports every process's image, so that the agent root
// derived from it and the images of the agent and of the monitors compare as text.
std::string ProcessSelf::ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return std::string();
    }
    if (length < buffer.size()) {
      return windows::Narrow(windows::CanonicalPath(std::wstring(buffer.data(), length)));
    }
    if (buffer.size() >= 32768) {
      return std::string();
    }
    buffer.resize(buffer.size() * 2);
  }
}

void ProcessSelf::ExitNow(int status) {
  // Like _exit elsewhere: no DLL detach, so no static destructor runs against a lock that
  // another (already stopped) thread held.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
  ::ExitProcess(static_cast<UINT>(status));
}

uint64_t ProcessSelf::Id() {
  return ::GetCurrentProcessId();
}

uint32_t ProcessSelf::LastErrorCode() {
  return ::GetLastError();
}

}  // namespace tbx
