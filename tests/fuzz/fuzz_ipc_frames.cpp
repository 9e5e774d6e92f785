// Arbitrary bytes as the stream of one IPC connection, read by either end (each with and
// without the handshake frames the loopback transport opens with), and as a serialized
// message header. Besides sanitizer findings, aborts when a decoded frame does not
// re-encode to exactly the bytes it came from, when the way the stream is cut into reads
// changes the outcome, or when a header that parses does not rebuild to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "ipc/SimpleSerialization.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcFrameDecoder.h"
#include "tbxIpc/SerializationParser.h"

namespace {

struct Outcome {
  std::vector<IpcFrame> frames;
  bool failed = false;
};

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Serializes `entries` again; must give back the parsed buffer.
void CheckHeaderRoundTrip(const std::string& header) {
  std::vector<SerializationEntry> entries;
  if (!ParseSerializationBuffer(header, entries)) {
    Check(entries.empty());
    return;
  }
  CSimpleSerialization rebuilt;
  for (const auto& entry : entries) {
    Check(rebuilt.Serialize(entry.key, entry.kind, static_cast<uint32_t>(entry.value.size()),
                            entry.value.data()));
  }
  Check(rebuilt.GetSerializationBuffer() == header);
}

// Which frames one end may yield. With the handshake of loopback TCP, the server side first
// takes a HELLO carrying a nonce and a PROOF carrying a proof, the client side one PROOF
// carrying a nonce and a proof; then the server side takes REG, DATA and DATA_EX, the client
// side INIT, then DATA.
bool Allowed(CIpcFrameDecoder::Side side, bool handshake, size_t index, const IpcFrame& frame) {
  const bool server = side == CIpcFrameDecoder::Side::kServer;
  if (handshake && index == 0) {
    return server ? frame.kind == kIpcFrameHello && frame.payload.size() == kIpcNonceLength
                  : frame.kind == kIpcFrameProof &&
                        frame.payload.size() == kIpcNonceLength + kIpcProofLength;
  }
  if (handshake && server && index == 1) {
    return frame.kind == kIpcFrameProof && frame.payload.size() == kIpcProofLength;
  }
  const size_t afterHandshake = index - (handshake ? (server ? 2 : 1) : 0);
  if (!server) {
    return frame.kind == (afterHandshake == 0 ? kIpcFrameInit : kIpcFrameData);
  }
  return frame.kind == kIpcFrameReg || frame.kind == kIpcFrameData || frame.kind == kIpcFrameDataEx;
}

Outcome Decode(CIpcFrameDecoder::Side side, bool handshake, const std::string& stream,
               size_t step) {
  CIpcFrameDecoder decoder(side, handshake);
  Outcome outcome;
  size_t offset = 0;  // where the next frame starts in `stream`
  for (size_t pos = 0; pos < stream.size() && !outcome.failed; pos += step) {
    decoder.Append(stream.data() + pos, std::min(step, stream.size() - pos));
    IpcFrame frame;
    CIpcFrameDecoder::Result result;
    while ((result = decoder.Next(&frame)) == CIpcFrameDecoder::Result::kFrame) {
      std::string encoded;
      Check(ipc::EncodeFrame(frame.kind, frame.payload, &encoded));
      Check(stream.compare(offset, encoded.size(), encoded) == 0);
      offset += encoded.size();
      Check(Allowed(side, handshake, outcome.frames.size(), frame));
      if (frame.kind == kIpcFrameDataEx) {
        std::string header, data;
        Check(ipc::SplitDataExPayload(frame.payload, &header, &data));
        Check(ipc::EncodeDataExPayload(header, data) == frame.payload);
        CheckHeaderRoundTrip(header);
      }
      outcome.frames.push_back(std::move(frame));
    }
    outcome.failed = result == CIpcFrameDecoder::Result::kError;
    Check(outcome.failed == !decoder.error().empty());
  }
  return outcome;
}

bool SameOutcome(const Outcome& a, const Outcome& b) {
  if (a.failed != b.failed || a.frames.size() != b.frames.size()) {
    return false;
  }
  for (size_t i = 0; i < a.frames.size(); ++i) {
    if (a.frames[i].kind != b.frames[i].kind || a.frames[i].payload != b.frames[i].payload) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  // The first byte chooses how the rest is cut into reads.
  const size_t step = data[0] % 32 + 1;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::pair<CIpcFrameDecoder::Side, bool> ends[] = {{CIpcFrameDecoder::Side::kServer, false},
                                                          {CIpcFrameDecoder::Side::kServer, true},
                                                          {CIpcFrameDecoder::Side::kClient, false},
                                                          {CIpcFrameDecoder::Side::kClient, true}};
  for (const auto& [side, handshake] : ends) {
    const Outcome cut = Decode(side, handshake, stream, step);
    const Outcome whole = Decode(side, handshake, stream, stream.size() + 1);
    Check(SameOutcome(cut, whole));
  }
  CheckHeaderRoundTrip(stream);
  return 0;
}
