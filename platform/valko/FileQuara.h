// FileQuara: the quarantine.
#pragma once

#include "Export.h"
#include "Singleton.h"

class KORVEX_EXPORT CFileQuara : public CSingleton<CFileQuara> {
 public:
  bool Init();
  bool IsInitialised() const { return initialised_; }

 private:
  friend class CSingleton<CFileQuara>;
  CFileQuara() = default;
  bool initialised_ = false;  // set by a successful Init
};

extern template class CSingleton<CFileQuara>;
