// valkoFileWatch: the file watch.
#pragma once

#include "Export.h"
#include "Singleton.h"

class KORVEX_EXPORT CFileWatch : public CSingleton<CFileWatch> {
 public:
  bool Init();
  bool IsInitialised() const { return initialised_; }

 private:
  friend class CSingleton<CFileWatch>;
  CFileWatch() = default;
  bool initialised_ = false;  // set by a successful Init
};

extern template class CSingleton<CFileWatch>;
