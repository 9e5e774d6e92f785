#include "KeyValueFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace valko::standin {
namespace {

std::string Trimmed(const std::string& text) {
  const char* kSpace = " \t\r\n\v\f";
  size_t first = text.find_first_not_of(kSpace);
  if (first == std::string::npos) {
    return "";
  }
  size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

// Parses the whole of `text` with from_chars, which is locale-independent and refuses a leading
// "+" and white space; false when any character is left over or the value is out of range.
template <class Number, class Format>
bool ParseWhole(const std::string& text, Number& value, Format format) {
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value, format);
  return !text.empty() && error == std::errc() && stop == end;
}

}  // namespace

bool CKeyValueFile::Load(const std::string& path) {
  values_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    return false;
  }
  Parse(content.str());
  return true;
}

void CKeyValueFile::Parse(const std::string& text) {
  values_.clear();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t comment = line.find('#');
    if (comment != std::string::npos) {
      line.erase(comment);
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
      continue;
    }
    std::string key = Trimmed(line.substr(0, equals));
    if (key.empty()) {
      continue;
    }
    values_[key] = Trimmed(line.substr(equals + 1));
  }
}

bool CKeyValueFile::GetText(const std::string& key, std::string& value) const {
  auto found = values_.find(key);
  if (found == values_.end()) {
    return false;
  }
  value = found->second;
  return true;
}

bool CKeyValueFile::GetDecimal(const std::string& key, double& value) const {
  std::string text;
  double parsed = 0.0;
  // fixed: no exponent, so "1e999" and "inf" are refused along with hexadecimal.
  if (!GetText(key, text) || !ParseWhole(text, parsed, std::chars_format::fixed) ||
      !std::isfinite(parsed) || parsed < 0.0) {
    return false;
  }
  value = parsed;
  return true;
}

bool CKeyValueFile::GetUnsigned(const std::string& key, uint64_t& value) const {
  std::string text;
  uint64_t parsed = 0;
  if (!GetText(key, text) || !ParseWhole(text, parsed, 10)) {
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace valko::standin
