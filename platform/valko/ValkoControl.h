// valkoControl: the agent control component.
#pragma once

#include <string>

#include "Export.h"
#include "Singleton.h"

class KORVEX_EXPORT CValkoControl : public CSingleton<CValkoControl> {
 public:
  bool Init(const std::string& ownerName);

 private:
  friend class CSingleton<CValkoControl>;
  CValkoControl() = default;
  std::string owner_;  // as given to Init
};

extern template class CSingleton<CValkoControl>;
