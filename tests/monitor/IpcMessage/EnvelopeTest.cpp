#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcMessage.h"
#include "tbx/StringUtil.h"

namespace {

IpcMessage Message(const std::string& type, const std::string& data, int32_t priority = 0,
                   const std::string& traceId = "") {
  IpcMessage message;
  message.type = type;
  message.data = data;
  message.traceId = traceId;
  message.priority = priority;
  return message;
}

std::string Envelope(const IpcMessage& message) {
  std::string out;
  EXPECT_TRUE(BuildEnvelope(out, message));
  return out;
}

// The standard envelope: traceId, priority, type and data in this order; JSON documents are
// embedded, other texts quoted; object id and keep flag stay out.
TEST(StandardEnvelope, IsExactForEveryKindOfField) {
  IpcMessage withObjectId = Message("T", "{}");
  withObjectId.objId = "obj";
  withObjectId.keepFlag = true;
  const std::pair<IpcMessage, std::string> cases[] = {
      {Message("T_MSG_PULL_CONF", "{}"),
       R"({"traceId":"","priority":0,"type":"T_MSG_PULL_CONF","data":{"data":{}}})"},
      {Message("T", "[1,{\"a\":null}]", 3, "tr-1"),
       R"({"traceId":"tr-1","priority":3,"type":"T","data":{"data":[1,{"a":null}]}})"},
      {Message("T", "hello", -2),
       R"({"traceId":"","priority":-2,"type":"T","data":{"data":"hello"}})"},
      {Message("{\"t\":1}", "x", 0, "[7]"),
       R"({"traceId":[7],"priority":0,"type":{"t":1},"data":{"data":"x"}})"},
      {Message("T\"", "x", 0, "a\\b"),
       R"({"traceId":"a\\b","priority":0,"type":"T\"","data":{"data":"x"}})"},
      // Data cannot add members to the envelope.
      {Message("T", R"(x"},"type":"EVIL","y":{"z":")"),
       R"({"traceId":"","priority":0,"type":"T","data":{"data":)"
       R"("x\"},\"type\":\"EVIL\",\"y\":{\"z\":\""}})"},
      {withObjectId, R"({"traceId":"","priority":0,"type":"T","data":{"data":{}}})"},
  };
  for (const auto& [message, expected] : cases) {
    EXPECT_EQ(Envelope(message), expected);
  }
}

// Where narrow texts are in an ANSI code page (Windows, 1252 here), a type and trace id in it
// arrive converted to UTF-8, and data already in UTF-8 is not converted twice.
TEST(StandardEnvelope, AnsiTypeAndTraceIdArriveAsUtf8BesideUtf8Data) {
  if (tbx::CStringUtil::s2s_utf8("\xE9") == "\xE9") {
    GTEST_SKIP() << "narrow texts are UTF-8 on this system";
  }
  EXPECT_EQ(Envelope(Message("T_\xE9", "\xC3\xA9", 0, "\xE9t\xE9")),
            "{\"traceId\":\"\xC3\xA9t\xC3\xA9\",\"priority\":0,\"type\":\"T_\xC3\xA9\","
            "\"data\":{\"data\":\"\xC3\xA9\"}}");
}

TEST(IpcOnlyEnvelope, StyledLayoutWithSortedKeysPrefixedTypeAndEscapedData) {
  IpcMessage message = Message("T", "{\"a\":\"x\\y\"}\x01", 3);
  message.ipcOnly = true;
  std::string out;
  ASSERT_TRUE(BuildIpcOnlyEnvelope(out, message));
  EXPECT_EQ(out,
            "{\n"
            "   \"data\" : \"{\\\"a\\\":\\\"x\\\\y\\\"}\\u0001\",\n"
            "   \"priority\" : 3,\n"
            "   \"traceId\" : \"\",\n"
            "   \"type\" : \"IPC_ONLY_T\"\n"
            "}\n");
}

TEST(PackMessage, RefusesEmptyTypeOrDataWithoutBuilding) {
  std::string out = "untouched";
  EXPECT_FALSE(PackMessage(out, Message("", "{}")));
  EXPECT_FALSE(PackMessage(out, Message("T", "")));
  IpcMessage ipcOnly = Message("T", "");
  ipcOnly.ipcOnly = true;
  EXPECT_FALSE(PackMessage(out, ipcOnly));
  EXPECT_EQ(out, "untouched");
}

// One header entry as the documented buffer layout spells it.
std::string TextEntry(const std::string& key, const std::string& value) {
  std::string entry(1, static_cast<char>(key.size()));
  entry += key;
  entry += '\0';  // kind 0: text
  const auto size = static_cast<uint32_t>(value.size());
  for (int shift = 0; shift < 32; shift += 8) {
    entry += static_cast<char>((size >> shift) & 0xFF);
  }
  return entry + value;
}

std::string FixedEntry(const std::string& key, const std::string& bytes) {
  std::string entry = TextEntry(key, bytes);
  entry[1 + key.size()] = '\x01';  // kind 1: fixed-size value
  return entry;
}

TEST(SerializedHeader, TypeLittleEndianPriorityAndTheOptionalIpcMsgByteAndObjectId) {
  EXPECT_EQ(BuildSerializedHeader("T_MSG_X", 3, false, ""),
            TextEntry("type", "T_MSG_X") + FixedEntry("prio", std::string("\x03\0\0\0", 4)));
  EXPECT_EQ(BuildSerializedHeader("T", -2, true, "obj-9"),
            TextEntry("type", "T") + FixedEntry("prio", "\xFE\xFF\xFF\xFF") +
                FixedEntry("ipc_msg", "\x01") + TextEntry("obj_id", "obj-9"));
  EXPECT_EQ(BuildSerializedHeader("T", 0, false, "obj-9"),
            TextEntry("type", "T") + FixedEntry("prio", std::string(4, '\0')) +
                TextEntry("obj_id", "obj-9"));
}

}  // namespace
