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
  // A module's own dependencies are searched beside it first. That search takes the directory
  // from the path as given, which the loader reads with backslashes only.
  std::wstring systemPath = tbx::windows::Widen(path);
  for (wchar_t& c : systemPath) {
    if (c == L'/') {
      c = L'\\';
    }
  }
  HMODULE module = ::LoadLibraryExW(systemPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
