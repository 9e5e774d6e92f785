// FileQuara: the quarantine.
#pragma once

#include <cstddef>
#include <new>

#include "Export.h"
#include "Singleton.h"

class CFileQuara;
// The home of CSingleton<CFileQuara> is this library (Singleton.h).
extern template class FILEQUARA_API CSingleton<CFileQuara>;

class FILEQUARA_API CFileQuara : public CSingleton<CFileQuara> {
 public:
  bool Init();

 private:
  friend class CSingleton<CFileQuara>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CFileQuara::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CFileQuara() = default;
};
