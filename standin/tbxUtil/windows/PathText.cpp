#include "PathText.h"

#include "WideText.h"

namespace tbx {
namespace {

bool IsSeparator(wchar_t c) {
  return c == L'/' || c == L'\\';
}

}  // namespace

std::string PathText::DirectoryOf(const std::string& path) {
  const std::wstring wide = windows::Widen(path);
  size_t end = wide.find_last_of(L"/\\");
  if (end == std::wstring::npos) {
    return std::string();
  }
  while (end > 0 && IsSeparator(wide[end - 1])) {
    --end;
  }
  return windows::Narrow(wide.substr(0, end));
}

std::string PathText::FileNameOf(const std::string& path) {
  const std::wstring wide = windows::Widen(path);
  const size_t separator = wide.find_last_of(L"/\\");
  return separator == std::wstring::npos ? path : windows::Narrow(wide.substr(separator + 1));
}

std::string PathText::WithoutFinalSeparators(const std::string& path) {
  std::wstring wide = windows::Widen(path);
  const size_t length = wide.size();
  while (wide.size() > 1 && IsSeparator(wide.back())) {
    wide.pop_back();
  }
  return wide.size() == length ? path : windows::Narrow(wide);
}

}  // namespace tbx
