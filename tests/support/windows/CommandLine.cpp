#include "support/windows/CommandLine.h"

#include "tbxUtil/windows/WideText.h"

namespace korvex_test::system_support {
namespace {

std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
    return arg;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

std::wstring CommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::wstring line = Quoted(tbx::windows::Widen(program));
  for (const std::string& arg : args) {
    line += L" " + Quoted(tbx::windows::Widen(arg));
  }
  return line;
}

}  // namespace korvex_test::system_support
