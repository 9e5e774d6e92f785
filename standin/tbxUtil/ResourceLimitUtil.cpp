#include "ResourceLimitUtil.h"

#include "StandinSupport.h"

namespace tbx {

void ResourceLimitUtil::SetLimitName(const std::string& name) {
  std::lock_guard<std::mutex> hold(mutex_);
  name_ = name;
}

std::string ResourceLimitUtil::GetLimitName() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return name_;
}

IResourceLimitUtil* GetResourceLimitUtil(const std::string& name) {
  if (name.empty() || standin::ShouldFail("GetResourceLimitUtil")) {
    return nullptr;
  }
  static ResourceLimitUtil* service = new ResourceLimitUtil;  // never destroyed
  service->SetLimitName(name);
  return service;
}

}  // namespace tbx
