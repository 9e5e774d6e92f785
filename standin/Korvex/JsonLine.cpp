#include "JsonLine.h"

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t ValidSequenceLength(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    return 1;
  }
  size_t length = 0;
  uint32_t min = 0;
  uint32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, min = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, min = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() - i < length) {
    return 0;
  }
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return (code < min || code > 0x10FFFF || surrogate) ? 0 : length;
}

}  // namespace

CJsonLine::CJsonLine() : writer_(buffer_) {
  writer_.StartObject();
}

CJsonLine& CJsonLine::Add(const char* key, const std::string& text) {
  writer_.Key(key);
  const std::string valid = ValidUtf8(text);
  writer_.String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
  return *this;
}

CJsonLine& CJsonLine::Add(const char* key, int64_t number) {
  writer_.Key(key);
  writer_.Int64(number);
  return *this;
}

CJsonLine& CJsonLine::AddRaw(const char* key, const std::string& json) {
  writer_.Key(key);
  writer_.RawValue(json.data(), json.size(), rapidjson::kObjectType);
  return *this;
}

CJsonLine& CJsonLine::BeginObject(const char* key) {
  writer_.Key(key);
  writer_.StartObject();
  return *this;
}

CJsonLine& CJsonLine::EndObject() {
  writer_.EndObject();
  return *this;
}

std::string CJsonLine::Finish() {
  writer_.EndObject();
  return std::string(buffer_.GetString(), buffer_.GetSize());
}

std::string CJsonLine::ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = ValidSequenceLength(text, i);
    if (length == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}
