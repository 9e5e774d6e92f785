// valkoConfig: the agent's configuration and the online client limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "Export.h"
#include "Singleton.h"

class CConfig;
// The home of CSingleton<CConfig> is this library (Singleton.h).
extern template class VALKOCONFIG_API CSingleton<CConfig>;

class VALKOCONFIG_API CConfig : public CSingleton<CConfig> {
 public:
  // The client version from <application dir>/conf/version; false (and "" ) when absent.
  bool GetClientVersion(std::string& version);
  // The identity address: the first non-loopback IPv4 address; false when there is none.
  bool GetIdentityIp(std::string& address);
  // Loads the machine identifier from <application dir>/conf/machine_uuid; false when absent.
  bool LoadMachineUuidFromFile();

 private:
  friend class CSingleton<CConfig>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "CConfig::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  CConfig();
};

class COnlineClientConf;
// The home of CSingleton<COnlineClientConf> is this library (Singleton.h).
extern template class VALKOCONFIG_API CSingleton<COnlineClientConf>;

class VALKOCONFIG_API COnlineClientConf : public CSingleton<COnlineClientConf> {
 public:
  // The queue limit in force: `base` times the ratio "queue_size_ratio" of
  // <application dir>/conf/online_client_conf (default 1), rounded down. Cheap enough to be
  // asked on every push: the file is re-read at most once per second.
  static int64_t CalcMaxCountWithQueueSizeRatio(int64_t base);

 private:
  friend class CSingleton<COnlineClientConf>;
  // Creation storage, reached through NewInstance only: null while TBX_STANDIN_FAIL lists
  // "COnlineClientConf::NewInstance".
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* memory) noexcept;
  static void operator delete(void* memory, const std::nothrow_t&) noexcept;
  COnlineClientConf() = default;
};
