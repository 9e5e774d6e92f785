// One JSON object on one line, members in the order they are added. Texts added are the
// system's narrow texts (on Windows in its ANSI code page, as paths are), made UTF-8 first
// (CStringUtil::s2s_utf8). Quote takes bytes: valid UTF-8 passes through, every byte that is not
// part of a valid UTF-8 sequence becomes U+FFFD, so each line is valid JSON whatever the caller
// hands in.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace valko::standin {

class VALKOERROR_API CJsonLine {
 public:
  CJsonLine() = default;

  CJsonLine& AddText(const std::string& key, const std::string& value);
  CJsonLine& AddInteger(const std::string& key, int64_t value);
  CJsonLine& AddBool(const std::string& key, bool value);

  // The object followed by "\n".
  std::string Finish() const;

  // `text` as a quoted JSON string.
  static std::string Quote(const std::string& text);

 private:
  void AddKey(const std::string& key);

  std::string members_;  // the members written so far, comma-separated
};

}  // namespace valko::standin
