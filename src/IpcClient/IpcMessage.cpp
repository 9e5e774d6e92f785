#include "IpcClient/IpcMessage.h"

#include <exception>

#include <json/json.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "IpcClient/DepthBoundedJsonHandler.h"
#include "ipc/SimpleSerialization.h"
#include "tbx/StringUtil.h"

namespace {

constexpr int32_t kReserveStep = 1000;  // bytes; the builder's text grows in these steps
constexpr size_t kAppendSlack = 10;     // bytes reserved beyond each name or value

// Length of the well-formed UTF-8 sequence at `p` (1 to 4), or 0 when the bytes there do not
// form one. `available` counts the bytes from `p` to the end of the text.
size_t Utf8SequenceLength(const unsigned char* p, size_t available) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    return 1;
  }
  size_t length;
  unsigned char low = 0x80;  // range of the second byte, narrower after some lead bytes
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) {
      low = 0xA0;  // no overlong forms
    } else if (lead == 0xED) {
      high = 0x9F;  // no surrogates
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) {
      low = 0x90;  // no overlong forms
    } else if (lead == 0xF4) {
      high = 0x8F;  // nothing beyond U+10FFFF
    }
  } else {
    return 0;
  }
  if (available < length || p[1] < low || p[1] > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) {
      return 0;
    }
  }
  return length;
}

// End of the run from `from` on that can stand between quotes as it is: no quote, backslash
// or control byte, and valid UTF-8.
size_t PlainRunEnd(const std::string& text, size_t from) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t i = from;
  while (i < size) {
    const unsigned char byte = bytes[i];
    if (byte < 0x80) {
      if (byte < 0x20 || byte == '"' || byte == '\\') {
        break;
      }
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(bytes + i, size - i);
    if (length == 0) {
      break;
    }
    i += length;
  }
  return i;
}

// Appends what stands in a JSON string for a byte that ends a plain run: an escape for a quote,
// backslash or control byte, U+FFFD for a byte that starts no well-formed UTF-8 sequence.
void AppendEscapedByte(std::string& out, unsigned char byte) {
  static const char kHexDigits[] = "0123456789abcdef";
  switch (byte) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (byte < 0x20) {
    out += "\\u00";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
  } else {
    out += "\xEF\xBF\xBD";  // U+FFFD in place of the one byte
  }
}

}  // namespace

bool IsWellFormedJson(const std::string& text, int maxDepth) {
  rapidjson::MemoryStream stream(text.data(), text.size());
  rapidjson::BaseReaderHandler<> acceptAll;
  DepthBoundedJsonHandler<rapidjson::BaseReaderHandler<>> handler(acceptAll, maxDepth);
  rapidjson::Reader reader;
  const rapidjson::ParseResult result =
      reader.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag>(stream,
                                                                                           handler);
  // The stream reports a NUL byte like its end, so a parse that stops early has met one.
  return !result.IsError() && stream.Tell() == text.size();
}

bool IsEmbeddableJson(const std::string& text) {
  return !text.empty() && (text[0] == '{' || text[0] == '[') &&
         IsWellFormedJson(text, kMaxEmbeddedJsonDepth);
}

void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  size_t from = 0;
  for (;;) {
    const size_t end = PlainRunEnd(text, from);
    out.append(text, from, end - from);
    if (end == text.size()) {
      break;
    }
    AppendEscapedByte(out, static_cast<unsigned char>(text[end]));
    from = end + 1;
  }
  out += '"';
}

JsonTextBuilder::JsonTextBuilder(int32_t capacity, int32_t kind)
    : text_(kind == kArray ? "[" : "{"),
      kind_(kind),
      reserved_((capacity / kReserveStep + 1) * kReserveStep) {
  text_.reserve(static_cast<size_t>(reserved_));
}

void JsonTextBuilder::ReserveFor(size_t addedLength) {
  const size_t needed = text_.size() + addedLength + kAppendSlack;
  if (needed > static_cast<size_t>(reserved_)) {
    reserved_ = static_cast<int32_t>((needed / kReserveStep + 1) * kReserveStep);
    text_.reserve(static_cast<size_t>(reserved_));
  }
}

JsonTextBuilder& JsonTextBuilder::Key(const std::string& name) {
  ReserveFor(name.size());
  AppendJsonString(text_, name);
  text_ += ':';
  return *this;
}

JsonTextBuilder& JsonTextBuilder::Value(const std::string& text) {
  ReserveFor(text.size());
  if (IsEmbeddableJson(text)) {
    text_ += text;
  } else {
    AppendJsonString(text_, text);
  }
  text_ += ',';
  return *this;
}

JsonTextBuilder& JsonTextBuilder::Value(int32_t number) {
  const std::string digits = tbx::CStringUtil::to_string(number);
  ReserveFor(digits.size());
  text_ += digits;
  text_ += ',';
  return *this;
}

JsonTextBuilder& JsonTextBuilder::Value(const JsonTextBuilder& nested) {
  const std::string finished = nested.Finish();
  ReserveFor(finished.size());
  text_ += finished;
  text_ += ',';
  return *this;
}

std::string JsonTextBuilder::Finish() const {
  std::string finished = text_;
  const char closing = kind_ == kArray ? ']' : '}';
  if (finished.size() == 1) {
    finished += closing;  // no member: only the opening bracket is there
  } else {
    finished.back() = closing;
  }
  return finished;
}

bool PackMessage(std::string& out, const IpcMessage& message) {
  if (message.type.empty() || message.data.empty()) {
    return false;
  }
  return message.ipcOnly ? BuildIpcOnlyEnvelope(out, message) : BuildEnvelope(out, message);
}

bool BuildEnvelope(std::string& out, const IpcMessage& message) {
  // Every text is in UTF-8 before the builder sees it: the builder replaces each byte that is
  // not UTF-8 by U+FFFD, which would destroy the non-ASCII characters of a narrow text in the
  // system's code page (Windows) that the conversion would have kept. Converted part by part,
  // the whole text is UTF-8 already, so its final conversion leaves it as it is instead of
  // converting the data a second time.
  JsonTextBuilder outer(1000, JsonTextBuilder::kObject);
  outer.Key("traceId").Value(tbx::CStringUtil::s2s_utf8(message.traceId));
  outer.Key("priority").Value(message.priority);
  outer.Key("type").Value(tbx::CStringUtil::s2s_utf8(message.type));

  JsonTextBuilder inner(1000, JsonTextBuilder::kObject);
  inner.Key("data").Value(tbx::CStringUtil::s2s_utf8(message.data));
  outer.Key("data").Value(inner);

  out = tbx::CStringUtil::s2s_utf8(outer.Finish());
  return !out.empty();
}

bool BuildIpcOnlyEnvelope(std::string& out, const IpcMessage& message) {
  try {
    Json::Value root(Json::objectValue);
    root["traceId"] = message.traceId;
    root["priority"] = message.priority;
    root["type"] = "IPC_ONLY_" + message.type;
    root["data"] = message.data;
    Json::StyledWriter writer;
    out = writer.write(root);
  } catch (const std::exception&) {
    return false;
  }
  return !out.empty();
}

std::string BuildSerializedHeader(const std::string& type, int32_t priority, bool ipcOnly,
                                  const std::string& objId) {
  CSimpleSerialization header;
  header.AddString("type", type);
  // The receiver reads the priority as a little-endian signed 32-bit number whatever our byte
  // order is.
  const auto bits = static_cast<uint32_t>(priority);
  const unsigned char prio[4] = {
      static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
      static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  header.Serialize("prio", CSimpleSerialization::kFixed, sizeof(prio), prio);
  if (ipcOnly) {
    const unsigned char one = 1;
    header.Serialize("ipc_msg", CSimpleSerialization::kFixed, sizeof(one), &one);
  }
  if (!objId.empty()) {
    header.AddString("obj_id", objId);
  }
  return header.GetSerializationBuffer();
}
