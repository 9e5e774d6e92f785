// The full names given to threads, by system-wide thread id. The kernel keeps only 15 bytes
// of a name; the log and the hang reports want the whole one.
#pragma once

#include <cstdint>
#include <string>

namespace tbx {

class ThreadNameRegistry {
 public:
  static void Set(int64_t threadId, const std::string& name);
  // "" for an id that was never named.
  static std::string Get(int64_t threadId);
};

}  // namespace tbx
