// tbxIpc: the lock file that keeps a second live server off a server name. The system
// releases it when its holder ends, however it ends, so a crashed server leaves no claim.
#pragma once

#include <cstdint>
#include <string>

class CIpcNameLock {
 public:
  CIpcNameLock() = default;
  ~CIpcNameLock();  // releases the lock

  CIpcNameLock(const CIpcNameLock&) = delete;
  CIpcNameLock& operator=(const CIpcNameLock&) = delete;

  // Takes the lock on the file at `path`, creating the file when missing. Returns an
  // IpcState: kIpcNameInUse while another holder has it.
  int32_t Acquire(const std::string& path, std::string* why);

 private:
  intptr_t handle_ = -1;  // the open lock file (a descriptor or a HANDLE), -1 when not held
};
