// valkoModuleManager: the agent modules loaded into this process. The configuration lists one
// module library per line, relative to the application directory.
#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "Export.h"
#include "Singleton.h"

class CModuleManager;
// The home of CSingleton<CModuleManager> is this library (Singleton.h).
extern template class VALKOMODULEMANAGER_API CSingleton<CModuleManager>;

class VALKOMODULEMANAGER_API CModuleManager : public CSingleton<CModuleManager> {
 public:
  ~CModuleManager() override;

  bool SetConfigPath(const std::string& path);
  // Loads every listed module and calls its KorvexModuleInit; false when one fails to load or
  // to initialise (the modules loaded before it stay loaded).
  bool LoadModule();
  // Calls KorvexModuleUninit of every loaded module and unloads it; true when none was loaded
  // or all were unloaded.
  bool UnLoadModule();

 private:
  friend class CSingleton<CModuleManager>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CModuleManager::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CModuleManager();

  struct State;
  State* state_;  // owned; the configuration path and the loaded modules
};
