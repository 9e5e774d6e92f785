// tbxUtil: the process service and the resource-limit service.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"

namespace tbx {

class IProcessUtil {
 public:
  virtual ~IProcessUtil() {}
  virtual uint64_t GetCurrentProcessId() = 0;
  // Ids of the running processes whose executable file name equals `name`, in ascending id
  // order, at most `maxCount` of them (0: no limit). `flags` is reserved (0).
  virtual std::vector<uint64_t> GetProcessIdsByName(const std::string& name, uint32_t maxCount,
                                                    uint32_t flags) = 0;
  // Ends the process; true when it was terminated. The calling process may be named.
  virtual bool TerminateProcessById(uint64_t processId) = 0;
  // The executable's file name, such as "Korvex.exe"; "" for a vanished id. `flags` reserved.
  virtual std::string GetProcessName(uint64_t processId, uint32_t flags) = 0;
  // The executable's full path; "" for a vanished id. `fullPath` 1 asks for the whole path;
  // `flags` is reserved (0).
  virtual std::string GetProcessPath(uint64_t processId, uint32_t fullPath, uint32_t flags) = 0;
};

// The process-wide process service; never null.
TBXUTIL_API IProcessUtil* GetProcessUtil();

class IResourceLimitUtil {
 public:
  virtual ~IResourceLimitUtil() {}
  // The name under which the process's resource limits are configured.
  virtual std::string GetLimitName() const = 0;
};

// Hands `name` to the resource-limit service and returns it; null when it cannot be set up.
TBXUTIL_API IResourceLimitUtil* GetResourceLimitUtil(const std::string& name);

}  // namespace tbx
