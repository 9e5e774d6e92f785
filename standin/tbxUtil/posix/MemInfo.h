// Figures of /proc/meminfo, shared by the memory queries of the stand-in libraries.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Export.h"

namespace tbx::standin {

class TBXUTIL_API MemInfo {
 public:
  // Reads the file; false when it cannot be read or holds no "MemTotal".
  bool Read();
  // The figure in bytes ("kB" entries converted), 0 when absent.
  uint64_t Bytes(const std::string& key) const;

 private:
  std::map<std::string, uint64_t> bytes_;  // figure name -> bytes
};

}  // namespace tbx::standin
