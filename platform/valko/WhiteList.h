// ModuleCommon: the white list.
#pragma once

#include <cstddef>
#include <new>

#include "Export.h"
#include "Singleton.h"

class CWhiteList;
// The home of CSingleton<CWhiteList> is this library (Singleton.h).
extern template class MODULECOMMON_API CSingleton<CWhiteList>;

class MODULECOMMON_API CWhiteList : public CSingleton<CWhiteList> {
 public:
  bool Init();

 private:
  friend class CSingleton<CWhiteList>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CWhiteList::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CWhiteList() = default;
};
