// A statistics line for the resource monitor, asked for once per sample period.
#pragma once

#include <string>

class IMonitorInfo {
 public:
  virtual ~IMonitorInfo() {}                 // slot 0
  virtual std::string GetMonitorInfo() = 0;  // slot 1
};
