// The resource-limit service: remembers the name under which this process's limits are
// configured (the resource monitor reads it).
#pragma once

#include <mutex>
#include <string>

#include "tbx/ProcessUtil.h"

namespace tbx {

class ResourceLimitUtil : public IResourceLimitUtil {
 public:
  ResourceLimitUtil() = default;

  void SetLimitName(const std::string& name);
  std::string GetLimitName() const override;

 private:
  ResourceLimitUtil(const ResourceLimitUtil&) = delete;
  ResourceLimitUtil& operator=(const ResourceLimitUtil&) = delete;

  mutable std::mutex mutex_;
  std::string name_;  // guarded by mutex_; the last name handed over
};

}  // namespace tbx
