// ModuleCommon: the file sender.
#pragma once

#include "Export.h"
#include "Singleton.h"

class KORVEX_EXPORT CFileSender : public CSingleton<CFileSender> {
 public:
  bool Init();
  bool IsInitialised() const { return initialised_; }

 private:
  friend class CSingleton<CFileSender>;
  CFileSender() = default;
  bool initialised_ = false;  // set by a successful Init
};

extern template class CSingleton<CFileSender>;
