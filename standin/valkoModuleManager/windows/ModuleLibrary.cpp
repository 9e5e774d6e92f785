#include "ModuleLibrary.h"

#include <windows.h>

#include "tbxUtil/windows/WideText.h"

namespace valko::standin {
namespace {

// The system's message for the last error, with its number.
std::string LastErrorText() {
  DWORD code = ::GetLastError();
  wchar_t* message = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length > 0 ? std::wstring(message, length) : std::wstring();
  if (message != nullptr) {
    ::LocalFree(message);
  }
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  return "error " + std::to_string(code) + (text.empty() ? "" : ": " + tbx::windows::Narrow(text));
}

}  // namespace

void* ModuleLibrary::Open(const std::string& path, std::string* error) {
  // By its full path; what the module needs that is not loaded yet comes from the module's own
  // directory, the application's or System32 (tbxUtil's DllSearchPolicy), never from the
  // current directory or PATH. The loader takes that directory from a full path with
  // backslashes only.
  const std::wstring given = tbx::windows::Widen(path);
  wchar_t full[32768];
  const DWORD length = ::GetFullPathNameW(given.c_str(), 32768, full, nullptr);
  const std::wstring systemPath = length > 0 && length < 32768 ? std::wstring(full, length) : given;
  HMODULE module =
      ::LoadLibraryExW(systemPath.c_str(), nullptr,
                       LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // A system without the search flags (Windows 7 lacking its update).
    module = ::LoadLibraryExW(systemPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  if (module == nullptr) {
    *error = LastErrorText();
  }
  return reinterpret_cast<void*>(module);
}

void* ModuleLibrary::Find(void* handle, const char* name, std::string* error) {
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(handle), name);
  if (address == nullptr) {
    *error = LastErrorText();
  }
  return reinterpret_cast<void*>(address);
}

bool ModuleLibrary::Close(void* handle, std::string* error) {
  if (!::FreeLibrary(static_cast<HMODULE>(handle))) {
    *error = LastErrorText();
    return false;
  }
  return true;
}

}  // namespace valko::standin
