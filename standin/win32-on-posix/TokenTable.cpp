#include "TokenTable.h"

#include <new>

namespace win32standin {

TokenTable& TokenTable::Instance() {
  static TokenTable* table = new TokenTable;  // never destroyed
  return *table;
}

HANDLE TokenTable::Open(DWORD access) {
  Token* token = new (std::nothrow) Token{access, false};
  if (token == nullptr) {
    return nullptr;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  tokens_.insert(token);
  return token;
}

bool TokenTable::Close(HANDLE handle) {
  std::lock_guard<std::mutex> hold(mutex_);
  auto found = tokens_.find(static_cast<Token*>(handle));
  if (found == tokens_.end()) {
    return false;
  }
  delete *found;
  tokens_.erase(found);
  return true;
}

}  // namespace win32standin
