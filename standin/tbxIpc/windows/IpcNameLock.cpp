// A byte-range lock on the lock file (LockFileEx). The system releases it when the handle is
// closed, the process's end included.
#include <windows.h>

#include "IpcNameLock.h"
#include "IpcStates.h"
#include "IpcWide.h"

namespace {

HANDLE Native(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

CIpcNameLock::~CIpcNameLock() {
  if (handle_ != -1) {
    CloseHandle(Native(handle_));
  }
}

int32_t CIpcNameLock::Acquire(const std::string& path, std::string* why) {
  const std::wstring widePath = ipc::sys::Wide(path);
  const HANDLE file = CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *why = "lock file " + path + ": error " + std::to_string(GetLastError());
    return kIpcSystemError;
  }
  SetHandleInformation(file, HANDLE_FLAG_INHERIT, 0);
  OVERLAPPED whole = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      *why = "a live server holds " + path;
      return kIpcNameInUse;
    }
    *why = "locking " + path + ": error " + std::to_string(error);
    return kIpcSystemError;
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return kIpcOk;
}
