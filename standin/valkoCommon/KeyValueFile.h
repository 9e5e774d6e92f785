// A small "key = value" configuration file, the format of the stand-in libraries' conf/ files:
// one pair per line, white space around key and value ignored, "#" starts a comment (a whole
// line or the rest of a line), blank lines and lines without "=" skipped; the last occurrence
// of a key wins.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Export.h"

namespace valko::standin {

class VALKOCOMMON_API CKeyValueFile {
 public:
  CKeyValueFile() = default;

  // Reads `path`, replacing what was read before; false (and no keys) when it cannot be read.
  bool Load(const std::string& path);
  // Parses `text` as the content of such a file.
  void Parse(const std::string& text);

  // False when the key is absent.
  bool GetText(const std::string& key, std::string& value) const;
  // A non-negative finite decimal such as "0.5" or "2"; false when absent or malformed.
  bool GetDecimal(const std::string& key, double& value) const;
  // A non-negative whole number; false when absent, malformed or too large for 64 bits.
  bool GetUnsigned(const std::string& key, uint64_t& value) const;

 private:
  std::map<std::string, std::string> values_;  // key -> value as written, trimmed
};

}  // namespace valko::standin
