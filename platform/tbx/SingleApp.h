// tbxUtil: the single-instance guard.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

// Built from a name, a guard path and an extra text. While one process holds a guard built from
// the same strings, IsRunning is true in every other process. The guard is held from
// construction until the object is destroyed or the process ends.
class TBXUTIL_API CSingleApp {
 public:
  CSingleApp(const std::string& name, const std::string& path, const std::string& extra);
  ~CSingleApp();

  // True when another process holds the guard.
  bool IsRunning() const;

 private:
  CSingleApp(const CSingleApp&) = delete;
  CSingleApp& operator=(const CSingleApp&) = delete;

  intptr_t lockHandle_;  // the held lock (a descriptor or a handle), or -1 when not held
  bool otherOwner_;      // true when another process held the guard at construction
};

}  // namespace tbx
