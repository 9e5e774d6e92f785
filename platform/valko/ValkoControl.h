// valkoControl: the agent control component.
#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "Export.h"
#include "Singleton.h"

class CValkoControl;
// The home of CSingleton<CValkoControl> is this library (Singleton.h).
extern template class VALKOCONTROL_API CSingleton<CValkoControl>;

class VALKOCONTROL_API CValkoControl : public CSingleton<CValkoControl> {
 public:
  bool Init(const std::string& ownerName);

 private:
  friend class CSingleton<CValkoControl>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CValkoControl::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CValkoControl() = default;
};
