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

// A security descriptor with a protected access list (nothing inherited from the parent is
// added) whose entries grant full access to the current user, SYSTEM and the Administrators;
// they are inherited by what is made inside when `container`.
class PrivateSecurity {
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
    // "P": protected. Each entry: allow, inheritance, full access, no object types, trustee.
    const std::wstring entry = std::wstring(L"(A;") + (container ? L"OICI" : L"") + L";FA;;;";
    const std::wstring sddl = L"D:P" + entry + sid + L")" + entry + L"SY)" + entry + L"BA)";
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
  ~PrivateSecurity() { LocalFree(descriptor_); }

  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

  // Puts the access list on the existing file or directory at `path`, in place of its own.
  // SetFileSecurityW rather than SetNamedSecurityInfoW, which Wine (8.0) accepts for a
  // directory and ignores; nothing below needs the propagation the latter adds, as every
  // endpoint file gets its own list.
  bool ApplyTo(const std::string& path, std::string* why) {
    if (!SetFileSecurityW(Wide(path).c_str(),
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          descriptor_)) {
      *why = ErrorText("cannot make " + path + " private", GetLastError());
      return false;
    }
    return true;
  }

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
  PrivateSecurity security;
  if (!security.Build(true, why)) {
    return false;
  }
  if (CreateDirectoryW(Wide(dir).c_str(), security.attributes())) {
    return true;
  }
  if (GetLastError() != ERROR_ALREADY_EXISTS) {
    *why = ErrorText("cannot create " + dir, GetLastError());
    return false;
  }
  // One that was there already (made by hand, or by an installer, with the access its parent
  // hands down) must become private too: it holds the endpoints and their tokens.
  return security.ApplyTo(dir, why);
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
  PrivateSecurity security;
  if (!security.Build(false, why)) {
    return false;
  }
  // A fresh file, so it has this access list: an existing one would keep its own. The rename
  // below keeps it too, as a rename within a volume keeps a file's security.
  const std::wstring temporary = Wide(path + "~new");
  DeleteFileW(temporary.c_str());
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.attributes(),
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
