#include "ThreadIdentity.h"

#include <windows.h>

#include "WideText.h"

namespace tbx {

uint64_t ThreadIdentity::CurrentId() {
  return ::GetCurrentThreadId();
}

void ThreadIdentity::SetSystemName(const std::string& name) {
  // SetThreadDescription exists from Windows 10 1607 on; older systems keep no thread names.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const SetDescription set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set != nullptr) {
    set(::GetCurrentThread(), windows::Widen(name).c_str());
  }
}

}  // namespace tbx
