#include "MemInfo.h"

#include <cstdio>
#include <cstring>

namespace tbx::standin {

bool MemInfo::Read() {
  bytes_.clear();
  FILE* file = std::fopen("/proc/meminfo", "re");
  if (file == nullptr) {
    return false;
  }
  char line[256];
  while (std::fgets(line, sizeof(line), file) != nullptr) {
    char name[128];
    unsigned long long value = 0;
    char unit[16] = "";
    int fields = std::sscanf(line, "%127[^:]: %llu %15s", name, &value, unit);
    if (fields >= 2) {
      bytes_[name] = std::strcmp(unit, "kB") == 0 ? value * 1024 : value;
    }
  }
  std::fclose(file);
  return bytes_.count("MemTotal") != 0;
}

uint64_t MemInfo::Bytes(const std::string& key) const {
  auto found = bytes_.find(key);
  return found == bytes_.end() ? 0 : found->second;
}

}  // namespace tbx::standin
