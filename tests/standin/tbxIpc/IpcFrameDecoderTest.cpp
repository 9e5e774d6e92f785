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
std::vector<IpcFrame> DecodeInSteps(Side side, const std::string& stream, size_t step, bool* failed,
                                    bool handshake = false) {
  CIpcFrameDecoder decoder(side, handshake);
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
                             Frame(kIpcFrameData, std::string(70000, 'x')) +
                             Frame(kIpcFrameDataEx, ipc::EncodeDataExPayload("hdr", ""));
  for (size_t step : {size_t{1}, size_t{2}, size_t{5}, size_t{7}, size_t{4096}, stream.size()}) {
    bool failed = true;
    const auto frames = DecodeInSteps(Side::kServer, stream, step, &failed);
    ASSERT_FALSE(failed) << "step " << step;
    ASSERT_EQ(frames.size(), 5u) << "step " << step;
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
    EXPECT_EQ(frames[4].kind, kIpcFrameDataEx);
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

TEST(IpcFrameDecoder, ClientSideTakesOneInitFirstThenData) {
  bool failed = true;
  auto frames = DecodeInSteps(Side::kClient, Frame(kIpcFrameInit, "") + Frame(kIpcFrameData, "m1"),
                              3, &failed);
  EXPECT_FALSE(failed);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].kind, kIpcFrameInit);
  EXPECT_EQ(frames[0].payload, "");
  EXPECT_EQ(frames[1].payload, "m1");
}

// What each side refuses, and how many frames it yields before; an error is final.
TEST(IpcFrameDecoder, RefusesMalformedFramesAndFramesForTheOtherSide) {
  std::string headerPastTheFrame;
  ipc::AppendU32Le(4, &headerPastTheFrame);
  headerPastTheFrame += "abc";  // announces 4 header bytes, carries 3
  const std::string nonce(kIpcNonceLength, 'a');
  const std::string proof(kIpcProofLength, 'b');
  const std::string serverProof = Frame(kIpcFrameProof, nonce + proof);
  struct Case {
    const char* name;
    Side side;
    std::string stream;
    size_t framesBefore;
    bool handshake = false;  // loopback TCP
  };
  const Case cases[] = {
      {"EmptyLength", Side::kServer, Prefix(0, kIpcFrameData), 0},
      {"KindZero", Side::kServer, Frame(0, "x"), 0},
      {"HelloWhereNoneIsExpected", Side::kServer, Frame(kIpcFrameHello, nonce), 0},
      {"ProofWhereNoneIsExpected", Side::kServer, Frame(kIpcFrameProof, proof), 0},
      {"Kind255", Side::kServer, Frame(255, ""), 0},
      {"InitToTheServer", Side::kServer, Frame(kIpcFrameData, "a") + Frame(kIpcFrameInit, "{}"), 1},
      {"DataExHeaderPastTheFrame", Side::kServer, Frame(kIpcFrameDataEx, headerPastTheFrame), 0},
      {"DataExWithoutHeaderLength", Side::kServer, Frame(kIpcFrameDataEx, std::string(3, '\0')), 0},
      {"DataBeforeInit", Side::kClient, Frame(kIpcFrameData, "before init"), 0},
      {"SecondInit", Side::kClient, Frame(kIpcFrameInit, "") + Frame(kIpcFrameInit, "again"), 1},
      {"RegToTheClient", Side::kClient, Frame(kIpcFrameInit, "") + Frame(kIpcFrameReg, "{}"), 1},
      {"DataExToTheClient", Side::kClient,
       Frame(kIpcFrameInit, "") + Frame(kIpcFrameDataEx, std::string(4, '\0')), 1},
      {"HelloToTheClient", Side::kClient, Frame(kIpcFrameInit, "") + Frame(kIpcFrameHello, nonce),
       1},
      {"ProofToAPlainClient", Side::kClient, serverProof, 0},
      {"DataBeforeHello", Side::kServer, Frame(kIpcFrameData, "a"), 0, true},
      {"SecondHello", Side::kServer, Frame(kIpcFrameHello, nonce) + Frame(kIpcFrameHello, nonce), 1,
       true},
      {"HelloOfAnotherLength", Side::kServer, Frame(kIpcFrameHello, nonce + "b"), 0, true},
      {"ProofOfAnotherLength", Side::kServer,
       Frame(kIpcFrameHello, nonce) + Frame(kIpcFrameProof, proof + "b"), 1, true},
      {"RegForTheProof", Side::kServer, Frame(kIpcFrameHello, nonce) + Frame(kIpcFrameReg, "{}"), 1,
       true},
      {"HandshakeFramesAfterTheHandshake", Side::kServer,
       Frame(kIpcFrameHello, nonce) + Frame(kIpcFrameProof, proof) + Frame(kIpcFrameData, "a") +
           Frame(kIpcFrameProof, proof),
       3, true},
      {"InitBeforeTheServersProof", Side::kClient, Frame(kIpcFrameInit, ""), 0, true},
      {"ServersProofWithoutItsNonce", Side::kClient, Frame(kIpcFrameProof, proof), 0, true},
      {"SecondProofFromTheServer", Side::kClient, serverProof + serverProof, 1, true},
  };
  for (const Case& c : cases) {
    const std::string stream = c.stream + Frame(kIpcFrameData, "later");
    for (size_t step : {size_t{1}, stream.size()}) {
      bool failed = false;
      const auto frames = DecodeInSteps(c.side, stream, step, &failed, c.handshake);
      EXPECT_TRUE(failed) << c.name;
      EXPECT_EQ(frames.size(), c.framesBefore) << c.name;
    }
  }
}

}  // namespace
