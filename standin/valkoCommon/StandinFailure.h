// Failures that TBX_STANDIN_FAIL injects into the stand-in components.
//
// Creation: a component class declares `operator new(std::size_t, const std::nothrow_t&)`, the form
// CSingleton<T>::NewInstance uses, with the two matching `operator delete`s, and its library
// defines them with VALKO_STANDIN_CREATION(T): NewInstance then yields null while
// "T::NewInstance" is listed.
#pragma once

#include <cstddef>
#include <new>

#include "tbxUtil/StandinSupport.h"

namespace valko::standin {

inline void* AllocateUnlessListed(const char* operation, std::size_t size) noexcept {
  if (tbx::standin::ShouldFail(operation)) {
    return nullptr;
  }
  return ::operator new(size, std::nothrow);
}

// The Init of a component that has nothing to set up: false while `operation` is listed.
inline bool InitUnlessListed(const char* operation) {
  return !tbx::standin::ShouldFail(operation);
}

}  // namespace valko::standin

#define VALKO_STANDIN_CREATION(T)                                           \
  void* T::operator new(std::size_t size, const std::nothrow_t&) noexcept { \
    return valko::standin::AllocateUnlessListed(#T "::NewInstance", size);  \
  }                                                                         \
  void T::operator delete(void* memory) noexcept {                          \
    ::operator delete(memory);                                              \
  }                                                                         \
  void T::operator delete(void* memory, const std::nothrow_t&) noexcept {   \
    ::operator delete(memory);                                              \
  }
