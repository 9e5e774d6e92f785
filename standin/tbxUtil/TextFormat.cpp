#include "TextFormat.h"

#include <cstdio>

namespace tbx {

std::string VFormat(const char* format, va_list args) {
  if (format == nullptr) {
    return std::string();
  }
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
  }
  return text;
}

}  // namespace tbx
