#include "GuardName.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "CanonicalPath.h"
#include "WideText.h"

namespace tbx::windows {
namespace {

const wchar_t kNamespace[] = L"Global\\";

// The guard path with its directory canonical: the file itself need not exist.
std::wstring CanonicalGuardPath(const std::string& path) {
  if (path.empty()) {
    return std::wstring();
  }
  wchar_t full[32768];
  const DWORD length = ::GetFullPathNameW(Widen(path).c_str(), 32768, full, nullptr);
  if (length == 0 || length >= 32768) {
    return Widen(path);
  }
  const std::wstring whole(full, length);
  const size_t separator = whole.find_last_of(L"\\/");
  if (separator == std::wstring::npos) {
    return whole;
  }
  // "C:\x" lies in "C:\", not in "C:" (the current directory of drive C).
  std::wstring dir =
      whole.substr(0, separator == 0 || whole[separator - 1] == L':' ? separator + 1 : separator);
  dir = CanonicalPath(dir);
  if (!dir.empty() && dir.back() != L'\\') {
    dir += L'\\';
  }
  return dir + whole.substr(separator + 1);
}

// Upper case as the file system compares names, independent of the user's language.
std::wstring Folded(const std::wstring& text) {
  if (text.empty()) {
    return text;
  }
  std::wstring folded(text.size(), L'\0');
  const int length =
      ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                     &folded[0], static_cast<int>(folded.size()));
  return length == static_cast<int>(text.size()) ? folded : text;
}

// 64-bit FNV-1a over the UTF-16 units, in 16 hexadecimal digits.
std::wstring Hash(const std::wstring& text) {
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : text) {
    for (int shift = 0; shift < 16; shift += 8) {
      hash ^= (static_cast<uint64_t>(unit) >> shift) & 0xFF;
      hash *= 1099511628211ull;
    }
  }
  wchar_t digits[17];
  std::swprintf(digits, 17, L"%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

}  // namespace

std::wstring GuardName(const std::string& name, const std::string& path, const std::string& extra) {
  std::wstring text = Widen(name) + L"|" + Folded(CanonicalGuardPath(path)) + L"|" + Widen(extra);
  // "\" would separate namespaces inside the name.
  for (wchar_t& c : text) {
    if (c == L'\\') {
      c = L'/';
    }
  }
  // Object names are at most MAX_PATH characters long.
  const size_t room = MAX_PATH - (sizeof(kNamespace) / sizeof(wchar_t) - 1);
  if (text.size() > room) {
    text = L"tbx-guard-" + std::to_wstring(text.size()) + L"-" + Hash(text);
  }
  return kNamespace + text;
}

}  // namespace tbx::windows
