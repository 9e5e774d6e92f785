// valkoFileWatch: the file watch.
#pragma once

#include <cstddef>
#include <new>

#include "Export.h"
#include "Singleton.h"

class CFileWatch;
// The home of CSingleton<CFileWatch> is this library (Singleton.h).
extern template class VALKOFILEWATCH_API CSingleton<CFileWatch>;

class VALKOFILEWATCH_API CFileWatch : public CSingleton<CFileWatch> {
 public:
  bool Init();

 private:
  friend class CSingleton<CFileWatch>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CFileWatch::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CFileWatch() = default;
};
