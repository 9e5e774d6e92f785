#include "WideText.h"

#include <windows.h>

namespace tbx::windows {

std::wstring Widen(const std::string& text) {
  if (text.empty()) {
    return std::wstring();
  }
  int length =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  }
  return wide;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                     0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                          nullptr, nullptr);
  }
  return narrow;
}

}  // namespace tbx::windows
