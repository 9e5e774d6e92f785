// CSingleton<T>: the process-wide instance behind every long-lived component.
//
// Each T has one home: the module that defines T instantiates CSingleton<T> explicitly
// (`template class KORVEX_EXPORT CSingleton<T>;`) and exports it, statics included. Every other
// module sees `extern template class CSingleton<T>;` in T's header and links against that
// export, so two modules never hold two different instances. The executable is the home of
// CSingleton<CMsgTransmitProxy>.
#pragma once

#include <cstdint>
#include <new>

#include "Compiler.h"

template <class T>
class CSingleton {
 public:
  virtual ~CSingleton() {}

  // Creates the instance on the first call (null when creation fails) and counts every call.
  static T* NewInstance();
  // The instance, or null before the first NewInstance.
  static T* GetInstance();
  // Uncounts one NewInstance; deletes the instance when the count reaches 0.
  static void RemoveInstance();

 protected:
  CSingleton();

 private:
  CSingleton(const CSingleton&) = delete;
  CSingleton& operator=(const CSingleton&) = delete;

  static T* m_pInstance;  // the one instance, or null
  static int32_t m_nRef;  // NewInstance calls not yet matched by RemoveInstance
};

template <class T>
T* CSingleton<T>::m_pInstance = nullptr;
template <class T>
int32_t CSingleton<T>::m_nRef = 0;

// The downcast happens before T's part exists; the address is right, only T's dynamic type is
// not yet set, which the sanitizer's type check would report on every construction.
template <class T>
KORVEX_NO_SANITIZE_VPTR CSingleton<T>::CSingleton() {
  m_pInstance = static_cast<T*>(this);
}

template <class T>
T* CSingleton<T>::NewInstance() {
  if (m_pInstance == nullptr) {
    T* created = new (std::nothrow) T();
    m_pInstance = created;  // the constructor set it too; a failed creation leaves null
  }
  ++m_nRef;
  return m_pInstance;
}

template <class T>
T* CSingleton<T>::GetInstance() {
  return m_pInstance;
}

template <class T>
void CSingleton<T>::RemoveInstance() {
  if (m_pInstance == nullptr) {
    return;
  }
  if (m_nRef > 0) {
    --m_nRef;
  }
  if (m_nRef == 0) {
    T* doomed = m_pInstance;
    m_pInstance = nullptr;
    delete doomed;
  }
}
