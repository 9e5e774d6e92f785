// Arbitrary bytes as the stream of one IPC connection, read by either end (the server end
// with and without the HELLO frame the loopback transport opens with), and as a serialized
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

// Which frames one end may yield: the server side of loopback TCP one HELLO of a token's
// length first, then what every server side takes; the client side INIT first, then DATA.
bool Allowed(CIpcFrameDecoder::Side side, bool helloFirst, size_t index, const IpcFrame& frame) {
  if (side == CIpcFrameDecoder::Side::kClient) {
    return frame.kind == (index == 0 ? kIpcFrameInit : kIpcFrameData);
  }
  if (helloFirst && index == 0) {
    return frame.kind == kIpcFrameHello && frame.payload.size() == kIpcTokenLength;
  }
  return frame.kind == kIpcFrameReg || frame.kind == kIpcFrameData || frame.kind == kIpcFrameDataEx;
}

Outcome Decode(CIpcFrameDecoder::Side side, bool helloFirst, const std::string& stream,
               size_t step) {
  CIpcFrameDecoder decoder(side, helloFirst);
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
      Check(Allowed(side, helloFirst, outcome.frames.size(), frame));
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
                                                          {CIpcFrameDecoder::Side::kClient, false}};
  for (const auto& [side, helloFirst] : ends) {
    const Outcome cut = Decode(side, helloFirst, stream, step);
    const Outcome whole = Decode(side, helloFirst, stream, stream.size() + 1);
    Check(SameOutcome(cut, whole));
  }
  CheckHeaderRoundTrip(stream);
  return 0;
}
