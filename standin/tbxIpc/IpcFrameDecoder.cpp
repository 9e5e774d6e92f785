#include "IpcFrameDecoder.h"

#include <iterator>

namespace {

struct HandshakeFrame {
  uint8_t kind;
  size_t payloadSize;
};

// What each side reads during the loopback handshake, in order: the client's nonce and proof,
// or the server's nonce and proof in one frame.
constexpr HandshakeFrame kFromClient[] = {{kIpcFrameHello, kIpcNonceLength},
                                          {kIpcFrameProof, kIpcProofLength}};
constexpr HandshakeFrame kFromServer[] = {{kIpcFrameProof, kIpcNonceLength + kIpcProofLength}};

size_t HandshakeLength(CIpcFrameDecoder::Side side) {
  return side == CIpcFrameDecoder::Side::kServer ? std::size(kFromClient) : std::size(kFromServer);
}

}  // namespace

CIpcFrameDecoder::CIpcFrameDecoder(Side side, bool handshake)
    : side_(side), handshakeLeft_(handshake ? HandshakeLength(side) : 0) {}

void CIpcFrameDecoder::Append(const char* data, size_t size) {
  if (failed_ || size == 0) {
    return;
  }
  Compact();
  buffer_.append(data, size);
}

CIpcFrameDecoder::Result CIpcFrameDecoder::Next(IpcFrame* frame) {
  if (failed_) {
    return Result::kError;
  }
  const size_t available = buffer_.size() - consumed_;
  if (available < kIpcFramePrefixSize) {
    return Result::kNeedMore;
  }
  const char* start = buffer_.data() + consumed_;
  const uint32_t length = ipc::ReadU32Le(start);
  const auto kind = static_cast<uint8_t>(start[4]);
  if (length == 0) {
    Refuse("frame without a kind byte");
    return Result::kError;
  }
  if (length > kIpcMaxFrameLength) {
    Refuse("frame of " + std::to_string(length) + " bytes exceeds the limit of " +
           std::to_string(kIpcMaxFrameLength));
    return Result::kError;
  }
  // Handshake frames are checked from the prefix alone, so an unproven peer cannot make the
  // other end buffer more than their fixed sizes.
  if (!(handshakeLeft_ > 0 ? CheckHandshakeFrame(kind, length) : CheckKind(kind))) {
    return Result::kError;
  }
  if (available - 4 < length) {
    return Result::kNeedMore;
  }
  const size_t payloadSize = length - 1;
  std::string payload(start + kIpcFramePrefixSize, payloadSize);
  if (kind == kIpcFrameDataEx &&
      (payloadSize < 4 || ipc::ReadU32Le(payload.data()) > payloadSize - 4)) {
    Refuse("DATA_EX header length runs past the frame");
    return Result::kError;
  }
  consumed_ += kIpcFramePrefixSize + payloadSize;
  if (kind == kIpcFrameInit) {
    sawInit_ = true;
  }
  if (handshakeLeft_ > 0) {
    --handshakeLeft_;
  }
  frame->kind = kind;
  frame->payload = std::move(payload);
  return Result::kFrame;
}

bool CIpcFrameDecoder::CheckHandshakeFrame(uint8_t kind, uint32_t length) {
  const bool fromClient = side_ == Side::kServer;
  const HandshakeFrame& expected =
      (fromClient ? kFromClient : kFromServer)[HandshakeLength(side_) - handshakeLeft_];
  const char* expectedName = ipc::FrameKindName(expected.kind);
  if (kind != expected.kind) {
    return Refuse(std::string("handshake frame from the ") + (fromClient ? "client" : "server") +
                  " is kind " + std::to_string(kind) + " (" + ipc::FrameKindName(kind) + "), not " +
                  expectedName);
  }
  if (length != 1 + expected.payloadSize) {
    return Refuse(std::string(expectedName) + " frame of " + std::to_string(length) +
                  " bytes, not " + std::to_string(1 + expected.payloadSize));
  }
  return true;
}

bool CIpcFrameDecoder::CheckKind(uint8_t kind) {
  const char* name = ipc::FrameKindName(kind);
  if (side_ == Side::kServer) {
    if (kind == kIpcFrameReg || kind == kIpcFrameData || kind == kIpcFrameDataEx) {
      return true;
    }
    return Refuse(std::string("a client may not send frame kind ") + std::to_string(kind) + " (" +
                  name + ")");
  }
  if (!sawInit_) {
    if (kind == kIpcFrameInit) {
      return true;
    }
    return Refuse(std::string("frame of kind ") + std::to_string(kind) + " (" + name +
                  ") from the server before INIT");
  }
  if (kind == kIpcFrameData) {
    return true;
  }
  return Refuse(std::string("a server may not send frame kind ") + std::to_string(kind) + " (" +
                name + ") after INIT");
}

bool CIpcFrameDecoder::Refuse(const std::string& why) {
  failed_ = true;
  error_ = why;
  buffer_.clear();
  buffer_.shrink_to_fit();
  consumed_ = 0;
  return false;
}

void CIpcFrameDecoder::Compact() {
  if (consumed_ == 0) {
    return;
  }
  buffer_.erase(0, consumed_);
  consumed_ = 0;
}
