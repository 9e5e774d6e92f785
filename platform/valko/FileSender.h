// ModuleCommon: the file sender.
#pragma once

#include <cstddef>
#include <new>

#include "Export.h"
#include "Singleton.h"

class CFileSender;
// The home of CSingleton<CFileSender> is this library (Singleton.h).
extern template class MODULECOMMON_API CSingleton<CFileSender>;

class MODULECOMMON_API CFileSender : public CSingleton<CFileSender> {
 public:
  bool Init();

 private:
  friend class CSingleton<CFileSender>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CFileSender::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CFileSender() = default;
};
