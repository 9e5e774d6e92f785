// The access tokens handed out by OpenProcessToken. A token records the privileges enabled on
// it; a handle is valid from OpenProcessToken until CloseHandle.
#pragma once

#include <mutex>
#include <set>

#include "win32/Win32.h"

namespace win32standin {

struct Token {
  DWORD access;         // the rights asked for when the token was opened
  bool debugPrivilege;  // "SeDebugPrivilege" enabled
};

class TokenTable {
 public:
  static TokenTable& Instance();

  HANDLE Open(DWORD access);
  // False for a handle that is not an open token.
  bool Close(HANDLE handle);
  // Runs `change` on the token under the table's lock; false for an unknown handle.
  template <class Change>
  bool Update(HANDLE handle, Change change) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (tokens_.count(static_cast<Token*>(handle)) == 0) {
      return false;
    }
    change(*static_cast<Token*>(handle));
    return true;
  }

 private:
  TokenTable() = default;
  TokenTable(const TokenTable&) = delete;
  TokenTable& operator=(const TokenTable&) = delete;

  std::mutex mutex_;
  std::set<Token*> tokens_;  // open tokens, owned
};

}  // namespace win32standin
