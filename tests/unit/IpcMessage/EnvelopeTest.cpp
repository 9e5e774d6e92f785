#include <string>

#include <gtest/gtest.h>

#include "IpcClient/IpcMessage.h"

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

TEST(StandardEnvelope, PullRequestIsExact) {
  EXPECT_EQ(Envelope(Message("T_MSG_PULL_CONF", "{}")),
            R"({"traceId":"","priority":0,"type":"T_MSG_PULL_CONF","data":{"data":{}}})");
}

TEST(StandardEnvelope, EmbedsJsonDataAndQuotesPlainText) {
  EXPECT_EQ(Envelope(Message("T", "[1,{\"a\":null}]", 3, "tr-1")),
            R"({"traceId":"tr-1","priority":3,"type":"T","data":{"data":[1,{"a":null}]}})");
  EXPECT_EQ(Envelope(Message("T", "hello", -2)),
            R"({"traceId":"","priority":-2,"type":"T","data":{"data":"hello"}})");
}

TEST(StandardEnvelope, TraceIdAndTypeFollowTheValueRules) {
  EXPECT_EQ(Envelope(Message("{\"t\":1}", "x", 0, "[7]")),
            R"({"traceId":[7],"priority":0,"type":{"t":1},"data":{"data":"x"}})");
  EXPECT_EQ(Envelope(Message("T\"", "x", 0, "a\\b")),
            R"({"traceId":"a\\b","priority":0,"type":"T\"","data":{"data":"x"}})");
}

TEST(StandardEnvelope, DataCannotAddMembersToTheEnvelope) {
  EXPECT_EQ(Envelope(Message("T", R"(x"},"type":"EVIL","y":{"z":")")),
            R"({"traceId":"","priority":0,"type":"T","data":{"data":)"
            R"("x\"},\"type\":\"EVIL\",\"y\":{\"z\":\""}})");
}

TEST(StandardEnvelope, KeepsObjectIdAndKeepFlagOut) {
  IpcMessage message = Message("T", "{}");
  message.objId = "obj";
  message.keepFlag = true;
  EXPECT_EQ(Envelope(message), R"({"traceId":"","priority":0,"type":"T","data":{"data":{}}})");
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

TEST(PackMessage, ChoosesTheEnvelopeByTheIpcOnlyFlag) {
  IpcMessage message = Message("T", "{}");
  std::string packed;
  std::string expected;
  ASSERT_TRUE(PackMessage(packed, message));
  ASSERT_TRUE(BuildEnvelope(expected, message));
  EXPECT_EQ(packed, expected);

  message.ipcOnly = true;
  ASSERT_TRUE(PackMessage(packed, message));
  ASSERT_TRUE(BuildIpcOnlyEnvelope(expected, message));
  EXPECT_EQ(packed, expected);
  EXPECT_NE(packed.find("IPC_ONLY_T"), std::string::npos);
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

TEST(SerializedHeader, TypeAndLittleEndianPriorityOnly) {
  EXPECT_EQ(BuildSerializedHeader("T_MSG_X", 3, false, ""),
            TextEntry("type", "T_MSG_X") + FixedEntry("prio", std::string("\x03\0\0\0", 4)));
}

TEST(SerializedHeader, IpcMsgByteAndObjectIdWhenGiven) {
  EXPECT_EQ(BuildSerializedHeader("T", -2, true, "obj-9"),
            TextEntry("type", "T") + FixedEntry("prio", "\xFE\xFF\xFF\xFF") +
                FixedEntry("ipc_msg", "\x01") + TextEntry("obj_id", "obj-9"));
  EXPECT_EQ(BuildSerializedHeader("T", 0, false, "obj-9"),
            TextEntry("type", "T") + FixedEntry("prio", std::string(4, '\0')) +
                TextEntry("obj_id", "obj-9"));
}

}  // namespace
