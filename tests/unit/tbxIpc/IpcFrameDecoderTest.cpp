#include "tbxIpc/IpcFrameDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IpcTestSupport.h"

namespace {

using Result = CIpcFrameDecoder::Result;
using Side = CIpcFrameDecoder::Side;
using ipctest::Frame;

std::string Prefix(uint32_t length, uint8_t kind) {
  std::string prefix;
  ipc::AppendU32Le(length, &prefix);
  prefix.push_back(static_cast<char>(kind));
  return prefix;
}

// Feeds `stream` in pieces of `step` bytes and collects every frame until an error.
std::vector<IpcFrame> DecodeInSteps(Side side, const std::string& stream, size_t step,
                                    bool* failed) {
  CIpcFrameDecoder decoder(side);
  std::vector<IpcFrame> frames;
  *failed = false;
  for (size_t pos = 0; pos < stream.size() && !*failed; pos += step) {
    decoder.Append(stream.data() + pos, std::min(step, stream.size() - pos));
    IpcFrame frame;
    Result result;
    while ((result = decoder.Next(&frame)) == Result::kFrame) {
      frames.push_back(frame);
    }
    *failed = result == Result::kError;
  }
  return frames;
}

TEST(IpcFrameDecoder, YieldsTheSameFramesHoweverTheStreamIsCut) {
  const std::string header = std::string("\x04type\x00\x01\x00\x00\x00X", 11);
  const std::string stream = Frame(kIpcFrameReg, "{\"is_reg\":1}") + Frame(kIpcFrameData, "") +
                             Frame(kIpcFrameDataEx, ipc::EncodeDataExPayload(header, "body")) +
                             Frame(kIpcFrameData, std::string(70000, 'x'));
  for (size_t step : {size_t{1}, size_t{2}, size_t{5}, size_t{7}, size_t{4096}, stream.size()}) {
    bool failed = true;
    const auto frames = DecodeInSteps(Side::kServer, stream, step, &failed);
    ASSERT_FALSE(failed) << "step " << step;
    ASSERT_EQ(frames.size(), 4u) << "step " << step;
    EXPECT_EQ(frames[0].kind, kIpcFrameReg);
    EXPECT_EQ(frames[0].payload, "{\"is_reg\":1}");
    EXPECT_EQ(frames[1].kind, kIpcFrameData);
    EXPECT_EQ(frames[1].payload, "");
    EXPECT_EQ(frames[2].kind, kIpcFrameDataEx);
    std::string gotHeader, gotData;
    ASSERT_TRUE(ipc::SplitDataExPayload(frames[2].payload, &gotHeader, &gotData));
    EXPECT_EQ(gotHeader, header);
    EXPECT_EQ(gotData, "body");
    EXPECT_EQ(frames[3].payload.size(), 70000u);
  }
}

TEST(IpcFrameDecoder, RefusesAnOversizedFrameFromItsPrefixAlone) {
  CIpcFrameDecoder decoder(Side::kServer);
  const std::string prefix = Prefix(kIpcMaxFrameLength + 1, kIpcFrameData);
  decoder.Append(prefix.data(), prefix.size());
  IpcFrame frame;
  EXPECT_EQ(decoder.Next(&frame), Result::kError);
  EXPECT_NE(decoder.error().find("exceeds"), std::string::npos) << decoder.error();
  EXPECT_FALSE(decoder.MidFrame());

  CIpcFrameDecoder atLimit(Side::kServer);
  const std::string largest = Prefix(kIpcMaxFrameLength, kIpcFrameData);
  atLimit.Append(largest.data(), largest.size());
  EXPECT_EQ(atLimit.Next(&frame), Result::kNeedMore);
  EXPECT_TRUE(atLimit.MidFrame());
}

TEST(IpcFrameDecoder, RefusesEmptyLengthAndUnknownKinds) {
  for (const std::string& stream :
       {Prefix(0, kIpcFrameData), Frame(0, "x"), Frame(5, "x"), Frame(255, "")}) {
    CIpcFrameDecoder decoder(Side::kServer);
    decoder.Append(stream.data(), stream.size());
    IpcFrame frame;
    EXPECT_EQ(decoder.Next(&frame), Result::kError);
    EXPECT_FALSE(decoder.error().empty());
    const std::string good = Frame(kIpcFrameData, "later");
    decoder.Append(good.data(), good.size());
    EXPECT_EQ(decoder.Next(&frame), Result::kError) << "an error is final";
  }
}

TEST(IpcFrameDecoder, ServerSideRefusesFramesOnlyAServerSends) {
  bool failed = false;
  const auto frames = DecodeInSteps(
      Side::kServer, Frame(kIpcFrameData, "a") + Frame(kIpcFrameInit, "{}") + Frame(3, "b"), 64,
      &failed);
  EXPECT_TRUE(failed);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, "a");
}

TEST(IpcFrameDecoder, ClientSideWantsOneInitFirstThenOnlyData) {
  bool failed = true;
  auto frames = DecodeInSteps(Side::kClient, Frame(kIpcFrameInit, "") + Frame(kIpcFrameData, "m1"),
                              3, &failed);
  EXPECT_FALSE(failed);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].kind, kIpcFrameInit);
  EXPECT_EQ(frames[0].payload, "");

  const std::string refused[] = {
      Frame(kIpcFrameData, "before init"),
      Frame(kIpcFrameInit, "") + Frame(kIpcFrameInit, "again"),
      Frame(kIpcFrameInit, "") + Frame(kIpcFrameReg, "{}"),
      Frame(kIpcFrameInit, "") + Frame(kIpcFrameDataEx, std::string(4, '\0')),
  };
  for (const std::string& stream : refused) {
    DecodeInSteps(Side::kClient, stream, 1, &failed);
    EXPECT_TRUE(failed);
  }
}

TEST(IpcFrameDecoder, RefusesDataExWhoseHeaderRunsPastTheFrame) {
  std::string tooLong;
  ipc::AppendU32Le(4, &tooLong);
  tooLong += "abc";                      // announces 4 header bytes, carries 3
  const std::string truncated(3, '\0');  // not even the header length
  for (const std::string& payload : {tooLong, truncated}) {
    bool failed = false;
    DecodeInSteps(Side::kServer, Frame(kIpcFrameDataEx, payload), 2, &failed);
    EXPECT_TRUE(failed);
  }
  bool failed = true;
  const auto frames = DecodeInSteps(
      Side::kServer, Frame(kIpcFrameDataEx, ipc::EncodeDataExPayload("hdr", "")), 1, &failed);
  EXPECT_FALSE(failed);
  EXPECT_EQ(frames.size(), 1u);
}

}  // namespace
