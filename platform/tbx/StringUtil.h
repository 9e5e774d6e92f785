// tbxUtil: text helpers. Texts are byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"

namespace tbx {

class TBXUTIL_API CStringUtil {
 public:
  // Renders `value` in `base` (2 to 36, lower-case digits); when `buffer` is not null the text
  // is also copied into it (the caller guarantees room). An invalid base yields "".
  static std::string IntToString(int64_t value, char* buffer, int base);
  static std::string UIntToString(uint64_t value, char* buffer, int base);
  static std::string to_string(int32_t value);
  static std::string to_string(int64_t value);
  static std::string to_string(uint32_t value);
  static std::string to_string(uint64_t value);

  static std::string strprintf(const char* format, ...) KORVEX_PRINTF_FORMAT(1, 2);
  // Converts a text in the system's code page to UTF-8 (on this platform texts already are).
  static std::string s2s_utf8(const std::string& text);

  // Splits at every occurrence of `delimiter`; with `skipEmpty` false, empty pieces are kept,
  // and an empty text yields one empty piece.
  static std::vector<std::string> stringSplit(const std::string& text, const std::string& delimiter,
                                              bool skipEmpty);
  // `text` with every occurrence of `what` removed.
  static std::string stringRemove(const std::string& text, const std::string& what);
  // `text` without leading and trailing white space.
  static std::string stringTrimmed(const std::string& text);

  static bool stringStartWith(const std::string& text, const std::string& prefix, bool ignoreCase);
  static bool stringEndWith(const std::string& text, const std::string& suffix, bool ignoreCase);
  static bool stringEqual(const std::string& a, const std::string& b, bool ignoreCase);
};

}  // namespace tbx
