// Narrow texts of this system are in its ANSI code page. A text that already is valid UTF-8
// passes unchanged, so converting twice (as the envelope may) does no harm; ASCII is both.
#include <windows.h>

#include <string>

#include "tbx/StringUtil.h"

namespace tbx {

std::string CStringUtil::s2s_utf8(const std::string& text) {
  if (text.empty()) {
    return text;
  }
  const int size = static_cast<int>(text.size());
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0) {
    return text;
  }
  int wideLength = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (wideLength <= 0) {
    return text;
  }
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], wideLength);
  int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) {
    return text;
  }
  std::string utf8(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

}  // namespace tbx
