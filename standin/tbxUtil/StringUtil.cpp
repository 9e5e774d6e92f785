#include "tbx/StringUtil.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "TextFormat.h"

namespace tbx {
namespace {

std::string RenderUnsigned(uint64_t magnitude, bool negative, char* buffer, int base) {
  if (base < 2 || base > 36) {
    if (buffer != nullptr) {
      buffer[0] = '\0';
    }
    return std::string();
  }
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string text;
  do {
    text.push_back(kDigits[magnitude % static_cast<uint64_t>(base)]);
    magnitude /= static_cast<uint64_t>(base);
  } while (magnitude != 0);
  if (negative) {
    text.push_back('-');
  }
  std::reverse(text.begin(), text.end());
  if (buffer != nullptr) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
  }
  return text;
}

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool RangeEqual(const char* a, const char* b, size_t length, bool ignoreCase) {
  for (size_t i = 0; i < length; ++i) {
    if (ignoreCase ? Lower(a[i]) != Lower(b[i]) : a[i] != b[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string CStringUtil::IntToString(int64_t value, char* buffer, int base) {
  // The magnitude of the most negative value only fits the unsigned type.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return RenderUnsigned(magnitude, value < 0, buffer, base);
}

std::string CStringUtil::UIntToString(uint64_t value, char* buffer, int base) {
  return RenderUnsigned(value, false, buffer, base);
}

std::string CStringUtil::to_string(int32_t value) {
  return std::to_string(value);
}
std::string CStringUtil::to_string(int64_t value) {
  return std::to_string(value);
}
std::string CStringUtil::to_string(uint32_t value) {
  return std::to_string(value);
}
std::string CStringUtil::to_string(uint64_t value) {
  return std::to_string(value);
}

std::string CStringUtil::strprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  return text;
}

std::vector<std::string> CStringUtil::stringSplit(const std::string& text,
                                                  const std::string& delimiter, bool skipEmpty) {
  std::vector<std::string> pieces;
  auto add = [&](std::string piece) {
    if (!skipEmpty || !piece.empty()) {
      pieces.push_back(std::move(piece));
    }
  };
  if (delimiter.empty()) {
    add(text);
    return pieces;
  }
  size_t start = 0;
  for (size_t found = text.find(delimiter); found != std::string::npos;
       found = text.find(delimiter, start)) {
    add(text.substr(start, found - start));
    start = found + delimiter.size();
  }
  add(text.substr(start));
  return pieces;
}

std::string CStringUtil::stringRemove(const std::string& text, const std::string& what) {
  if (what.empty()) {
    return text;
  }
  std::string result;
  size_t start = 0;
  for (size_t found = text.find(what); found != std::string::npos; found = text.find(what, start)) {
    result.append(text, start, found - start);
    start = found + what.size();
  }
  result.append(text, start, std::string::npos);
  return result;
}

std::string CStringUtil::stringTrimmed(const std::string& text) {
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isSpace(text[begin])) {
    ++begin;
  }
  while (end > begin && isSpace(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

bool CStringUtil::stringStartWith(const std::string& text, const std::string& prefix,
                                  bool ignoreCase) {
  return text.size() >= prefix.size() &&
         RangeEqual(text.data(), prefix.data(), prefix.size(), ignoreCase);
}

bool CStringUtil::stringEndWith(const std::string& text, const std::string& suffix,
                                bool ignoreCase) {
  return text.size() >= suffix.size() && RangeEqual(text.data() + text.size() - suffix.size(),
                                                    suffix.data(), suffix.size(), ignoreCase);
}

bool CStringUtil::stringEqual(const std::string& a, const std::string& b, bool ignoreCase) {
  return a.size() == b.size() && RangeEqual(a.data(), b.data(), a.size(), ignoreCase);
}

}  // namespace tbx
