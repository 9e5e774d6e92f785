#include <windows.h>

#include <bcrypt.h>
#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "IpcSystem.h"
#include "IpcWide.h"

namespace ipc::sys {

namespace {

std::string ErrorText(const std::string& what, DWORD error) {
  return what + ": error " + std::to_string(error);
}

// A security descriptor whose one entry grants the current user full access; the entry is
// inherited by what is made inside when `container`.
class OwnerOnlySecurity {
 public:
  bool Build(bool container, std::string* why) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      *why = ErrorText("OpenProcessToken", GetLastError());
      return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<BYTE[]> user(new BYTE[size > 0 ? size : 1]);
    LPWSTR sid = nullptr;
    const bool named =
        GetTokenInformation(token, TokenUser, user.get(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, &sid);
    CloseHandle(token);
    if (!named) {
      *why = ErrorText("reading the current user", GetLastError());
      return false;
    }
    // Protected ("P"): nothing inherited from the parent is added.
    const std::wstring sddl =
        std::wstring(L"D:P(A;") + (container ? L"OICI" : L"") + L";FA;;;" + sid + L")";
    LocalFree(sid);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor_, nullptr)) {
      *why = ErrorText("building the access list", GetLastError());
      return false;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
  }
  ~OwnerOnlySecurity() { LocalFree(descriptor_); }

  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
};

bool WriteAll(HANDLE file, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    DWORD written = 0;
    if (!WriteFile(file, content.data() + done, static_cast<DWORD>(content.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

std::string Environment(const char* name) {
  // The C runtime's copy, which is what a process (or a test) changes with _putenv.
  const wchar_t* value = _wgetenv(Wide(name).c_str());
  return value == nullptr ? std::string() : Utf8(value);
}

std::string LibraryDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&LibraryDirectory), &module)) {
    return ".";
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) {
      return ".";
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "." : Utf8(path.substr(0, slash));
}

bool MakePrivateDirectory(const std::string& dir, std::string* why) {
  OwnerOnlySecurity security;
  if (!security.Build(true, why)) {
    return false;
  }
  if (!CreateDirectoryW(Wide(dir).c_str(), security.attributes()) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    *why = ErrorText("cannot create " + dir, GetLastError());
    return false;
  }
  return true;
}

ReadResult ReadSmallFile(const std::string& path, size_t limit, std::string* content,
                         std::string* why) {
  content->clear();
  // FILE_SHARE_DELETE: a server may replace or remove the file while it is read.
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *why = ErrorText(path, error);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::kAbsent
                                                                          : ReadResult::kFailed;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    *why = path + " is not a regular file";
    CloseHandle(file);
    return ReadResult::kAbsent;
  }
  char buffer[256];
  while (content->size() < limit) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min(sizeof(buffer), limit - content->size()));
    if (!ReadFile(file, buffer, wanted, &read, nullptr)) {
      *why = ErrorText("reading " + path, GetLastError());
      CloseHandle(file);
      return ReadResult::kFailed;
    }
    if (read == 0) {
      break;
    }
    content->append(buffer, read);
  }
  CloseHandle(file);
  return ReadResult::kRead;
}

bool ReplaceFileContent(const std::string& path, const std::string& content, std::string* why) {
  OwnerOnlySecurity security;
  if (!security.Build(false, why)) {
    return false;
  }
  const std::wstring temporary = Wide(path + "~new");
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.attributes(),
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *why = ErrorText("cannot create " + path + "~new", GetLastError());
    return false;
  }
  const bool written = WriteAll(file, content);
  CloseHandle(file);
  if (!written || !MoveFileExW(temporary.c_str(), Wide(path).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *why = ErrorText("cannot write " + path, GetLastError());
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveFile(const std::string& path) {
  DeleteFileW(Wide(path).c_str());
}

bool RandomBytes(void* buffer, size_t size, std::string* why) {
  const NTSTATUS status =
      BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) {
    *why = "BCryptGenRandom: status " + std::to_string(static_cast<long>(status));
    return false;
  }
  return true;
}

void NameCurrentThread(const char* name) {
  // SetThreadDescription exists from Windows 10 1607 on; older systems keep unnamed threads.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const SetDescription set = [] {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found =
        kernel == nullptr ? nullptr : GetProcAddress(kernel, "SetThreadDescription");
    return reinterpret_cast<SetDescription>(reinterpret_cast<void*>(found));
  }();
  if (set != nullptr) {
    set(GetCurrentThread(), Wide(name).c_str());
  }
}

}  // namespace ipc::sys
