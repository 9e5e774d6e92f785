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
  bool IsInitialised() const { return initialised_; }

  // Creation storage: null while TBX_STANDIN_FAIL lists "CWhiteList::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;

 private:
  friend class CSingleton<CWhiteList>;
  CWhiteList() = default;
  bool initialised_ = false;  // set by a successful Init
};
