// Random texts of every awkward kind must always give an envelope that a strict parser accepts
// and that carries each field back unchanged (or, for invalid UTF-8, with U+FFFD in place of
// each byte that starts no well-formed sequence).
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/encodings.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "IpcClient/IpcMessage.h"
#include "tbx/StringUtil.h"

namespace {

constexpr unsigned kParseFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag;

// Builds texts from pieces that each stress one rule of the envelope.
class TextGenerator {
 public:
  explicit TextGenerator(uint32_t seed) : random_(seed) {}

  std::string Next() {
    std::string text;
    switch (Pick(6)) {
      case 0:
        text = "{";
        break;
      case 1:
        text = "[";
        break;
      case 2:
        return Json(3);  // a well-formed document, embedded as it is
      case 3:
        return "[\"" + Piece() + "\"]";  // well-formed unless the piece breaks the string
      case 4:
        return Json(2) + Piece();  // a document with something after it
      default:
        break;
    }
    const int pieces = Pick(12);
    for (int i = 0; i < pieces; ++i) {
      text += Piece();
    }
    return text;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string Piece() {
    static const char* const kValidUtf8[] = {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
                                             "\xEF\xBF\xBD", "\xF4\x8F\xBF\xBF"};
    static const char* const kInvalidUtf8[] = {
        "\xFF", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\xF8"};
    switch (Pick(9)) {
      case 0:
        return "\"";
      case 1:
        return "\\";
      case 2:
        return std::string(1, static_cast<char>(Pick(0x20)));  // control byte, NUL included
      case 3:
        return kValidUtf8[Pick(5)];
      case 4:
        return kInvalidUtf8[Pick(7)];
      case 5:
        return std::string(1, "{}[],:"[Pick(6)]);
      case 6:
        return Json(2);
      case 7:
        return std::string(1, static_cast<char>(0x80 + Pick(0x80)));
      default:
        return std::string(1, static_cast<char>('a' + Pick(26)));
    }
  }

  // A random well-formed JSON value, objects and arrays at most `depth` levels deep.
  std::string Json(int depth) {
    const int choice = depth > 0 ? Pick(6) : Pick(4);
    switch (choice) {
      case 0:
        return std::to_string(Pick(2000) - 1000);
      case 1:
        return "\"s\\\"\\u00e9\xC3\xA9\"";
      case 2:
        return Pick(2) != 0 ? "true" : "null";
      case 3:
        return "-1.5e3";
      case 4: {
        std::string array = "[";
        const int n = Pick(4);
        for (int i = 0; i < n; ++i) {
          array += (i != 0 ? "," : "") + Json(depth - 1);
        }
        return array + "]";
      }
      default: {
        std::string object = "{";
        const int n = Pick(4);
        for (int i = 0; i < n; ++i) {
          object += (i != 0 ? ",\"k" : "\"k") + std::to_string(i) + "\":" + Json(depth - 1);
        }
        return object + "}";
      }
    }
  }

  std::mt19937 random_;
};

// The test's own reference for invalid UTF-8, built on RapidJSON's decoder: each byte where no
// well-formed sequence starts becomes U+FFFD.
std::string ReplaceInvalidUtf8(const std::string& text) {
  std::string result;
  size_t i = 0;
  while (i < text.size()) {
    rapidjson::MemoryStream stream(text.data() + i, text.size() - i);
    unsigned codepoint = 0;
    if (rapidjson::UTF8<>::Decode(stream, &codepoint)) {
      const size_t length = stream.Tell();
      result.append(text, i, length);
      i += length;
    } else {
      result += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return result;
}

// True when `text` is one JSON object or array by the test's own parse.
bool ParsesAsJsonDocument(const std::string& text) {
  if (text.empty() || (text[0] != '{' && text[0] != '[') || text.find('\0') != std::string::npos) {
    return false;
  }
  rapidjson::Document document;
  document.Parse<kParseFlags>(text.data(), text.size());
  return !document.HasParseError();
}

// Checks that one envelope member carries `original` back: narrow text arrives in UTF-8
// (converted from the system's code page where that is not UTF-8), and what still is no UTF-8
// is replaced.
void ExpectCarries(const rapidjson::Value& value, const std::string& original) {
  const std::string text = tbx::CStringUtil::s2s_utf8(original);
  if (ParsesAsJsonDocument(text)) {
    rapidjson::Document expected;
    expected.Parse<kParseFlags>(text.data(), text.size());
    EXPECT_TRUE(value == expected) << "embedded JSON differs for: " << original;
    return;
  }
  ASSERT_TRUE(value.IsString()) << original;
  EXPECT_EQ(std::string(value.GetString(), value.GetStringLength()), ReplaceInvalidUtf8(text));
}

TEST(EnvelopeProperty, EveryEnvelopeParsesAndCarriesItsFieldsBack) {
  TextGenerator generator(20240611);
  std::mt19937 priorities(7);
  for (int round = 0; round < 3000; ++round) {
    IpcMessage message;
    message.type = "T" + generator.Next();
    message.data = generator.Next();
    message.traceId = generator.Next();
    message.priority = static_cast<int32_t>(priorities());
    SCOPED_TRACE("round " + std::to_string(round));

    std::string envelope;
    ASSERT_TRUE(BuildEnvelope(envelope, message));
    rapidjson::Document document;
    document.Parse<kParseFlags>(envelope.data(), envelope.size());
    ASSERT_FALSE(document.HasParseError()) << envelope;
    ASSERT_TRUE(document.IsObject());
    ASSERT_EQ(document.MemberCount(), 4u) << envelope;

    auto member = document.MemberBegin();
    EXPECT_STREQ(member->name.GetString(), "traceId");
    ExpectCarries(member->value, message.traceId);
    ++member;
    EXPECT_STREQ(member->name.GetString(), "priority");
    ASSERT_TRUE(member->value.IsInt());
    EXPECT_EQ(member->value.GetInt(), message.priority);
    ++member;
    EXPECT_STREQ(member->name.GetString(), "type");
    ExpectCarries(member->value, message.type);
    ++member;
    EXPECT_STREQ(member->name.GetString(), "data");
    ASSERT_TRUE(member->value.IsObject());
    ASSERT_EQ(member->value.MemberCount(), 1u);
    EXPECT_STREQ(member->value.MemberBegin()->name.GetString(), "data");
    ExpectCarries(member->value.MemberBegin()->value, message.data);
  }
}

}  // namespace
