// ModuleCommon: the white list.
#pragma once

#include "Export.h"
#include "Singleton.h"

class KORVEX_EXPORT CWhiteList : public CSingleton<CWhiteList> {
 public:
  bool Init();
  bool IsInitialised() const { return initialised_; }

 private:
  friend class CSingleton<CWhiteList>;
  CWhiteList() = default;
  bool initialised_ = false;  // set by a successful Init
};

extern template class CSingleton<CWhiteList>;
