// Where the system looks for a DLL loaded later by name: the application's directory and
// System32 only, never the current directory or PATH, where whoever may write could plant one.
//
// Set while tbxUtil.dll starts: the executable imports the agent libraries, so the loader starts
// them before the first line of the program runs, and every DLL loaded from then on (the
// modules, what they need that is not loaded yet, what the system loads on demand) is searched
// this way. The executable's own imports are resolved before any code runs at all; they are the
// installation's files beside it. Systems without the call (Windows 7 lacking its update) keep
// their search order.
#include <windows.h>

namespace tbx {
namespace {

class DllSearchPolicy {
 public:
  DllSearchPolicy() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set != nullptr) {
      set(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
  }
};

const DllSearchPolicy g_policy;

}  // namespace
}  // namespace tbx
