#include "ipc/SimpleSerialization.h"
#include "tbxIpc/SerializationParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// The header a message of type "T_MSG_X", priority 3, IPC-only, object id "o1" carries.
std::string SampleHeader() {
  CSimpleSerialization s;
  s.AddString("type", "T_MSG_X");
  const int32_t prio = 3;
  s.Serialize("prio", CSimpleSerialization::kFixed, 4, &prio);
  const uint8_t ipcMsg = 1;
  s.Serialize("ipc_msg", CSimpleSerialization::kFixed, 1, &ipcMsg);
  s.AddString("obj_id", "o1");
  return s.GetSerializationBuffer();
}

TEST(SimpleSerialization, LaysOutEntriesByteForByte) {
  const std::string expected = std::string(
      "\x04type"
      "\x00\x07\x00\x00\x00"
      "T_MSG_X"
      "\x04prio"
      "\x01\x04\x00\x00\x00"
      "\x03\x00\x00\x00"
      "\x07ipc_msg"
      "\x01\x01\x00\x00\x00"
      "\x01"
      "\x06obj_id"
      "\x00\x02\x00\x00\x00"
      "o1",
      59);
  EXPECT_EQ(SampleHeader(), expected);
}

TEST(SimpleSerialization, ParseReturnsTheEntriesInInsertionOrder) {
  std::vector<SerializationEntry> entries;
  ASSERT_TRUE(ParseSerializationBuffer(SampleHeader(), entries));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].key, "type");
  EXPECT_EQ(entries[0].kind, CSimpleSerialization::kText);
  EXPECT_EQ(entries[0].value, "T_MSG_X");
  EXPECT_EQ(entries[1].key, "prio");
  EXPECT_EQ(entries[1].kind, CSimpleSerialization::kFixed);
  EXPECT_EQ(entries[1].value, std::string("\x03\x00\x00\x00", 4));
  EXPECT_EQ(entries[2].key, "ipc_msg");
  EXPECT_EQ(entries[3].value, "o1");

  ASSERT_TRUE(ParseSerializationBuffer("", entries));
  EXPECT_TRUE(entries.empty());
}

TEST(SimpleSerialization, ParseRefusesEveryTruncationAndForeignBytes) {
  const std::string header = SampleHeader();
  const size_t boundaries[] = {0, 17, 31, 45, 59};  // where whole entries end
  std::vector<SerializationEntry> entries;
  for (size_t length = 0; length <= header.size(); ++length) {
    const bool atBoundary =
        std::find(std::begin(boundaries), std::end(boundaries), length) != std::end(boundaries);
    EXPECT_EQ(ParseSerializationBuffer(header.substr(0, length), entries), atBoundary)
        << "length " << length;
  }
  std::string unknownKind = header;
  unknownKind[5] = 2;
  EXPECT_FALSE(ParseSerializationBuffer(unknownKind, entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(ParseSerializationBuffer(std::string("\x00\x00\x00\x00\x00\x00", 6), entries));
  std::string hugeSize = header;
  hugeSize[9] = '\x7f';  // the first value claims about 2 GiB
  EXPECT_FALSE(ParseSerializationBuffer(hugeSize, entries));
}

TEST(SimpleSerialization, RefusesKeysThatDoNotFitAndBadValues) {
  CSimpleSerialization s;
  EXPECT_FALSE(s.AddString("", "v"));
  EXPECT_FALSE(s.AddString(std::string(256, 'k'), "v"));
  EXPECT_FALSE(s.Serialize("k", CSimpleSerialization::kFixed, 4, nullptr));
  EXPECT_FALSE(s.Serialize("k", 7, 0, nullptr));
  EXPECT_TRUE(s.GetSerializationBuffer().empty());

  EXPECT_TRUE(s.AddString(std::string(255, 'k'), ""));
  EXPECT_TRUE(s.Serialize("z", CSimpleSerialization::kFixed, 0, nullptr));
  std::vector<SerializationEntry> entries;
  ASSERT_TRUE(ParseSerializationBuffer(s.GetSerializationBuffer(), entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].key.size(), 255u);
  EXPECT_EQ(entries[1].key, "z");
}

}  // namespace
