#include "JsonLine.h"

#include "tbx/StringUtil.h"

namespace valko::standin {
namespace {

// Length of the valid UTF-8 sequence at text[at] (2 to 4), or 0 when there is none.
size_t Utf8SequenceLength(const std::string& text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = 0;
  uint32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) {
    return 0;
  }
  uint32_t code = lead & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < lowest || surrogate || code > 0x10FFFF) {
    return 0;
  }
  return length;
}

}  // namespace

std::string CJsonLine::Quote(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text, i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

void CJsonLine::AddKey(const std::string& key) {
  if (!members_.empty()) {
    members_ += ',';
  }
  members_ += Quote(key);
  members_ += ':';
}

CJsonLine& CJsonLine::AddText(const std::string& key, const std::string& value) {
  AddKey(key);
  members_ += Quote(tbx::CStringUtil::s2s_utf8(value));
  return *this;
}

CJsonLine& CJsonLine::AddInteger(const std::string& key, int64_t value) {
  AddKey(key);
  members_ += std::to_string(value);
  return *this;
}

CJsonLine& CJsonLine::AddBool(const std::string& key, bool value) {
  AddKey(key);
  members_ += value ? "true" : "false";
  return *this;
}

std::string CJsonLine::Finish() const {
  return "{" + members_ + "}\n";
}

}  // namespace valko::standin
