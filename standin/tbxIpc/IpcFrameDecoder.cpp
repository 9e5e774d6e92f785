#include "IpcFrameDecoder.h"

CIpcFrameDecoder::CIpcFrameDecoder(Side side, bool helloFirst)
    : side_(side), awaitingHello_(side == Side::kServer && helloFirst) {}

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
  if (!CheckKind(kind)) {
    return Result::kError;
  }
  // Checked from the prefix alone, so an unproven peer cannot make the server buffer more.
  if (kind == kIpcFrameHello && length != 1 + kIpcTokenLength) {
    Refuse("HELLO frame of " + std::to_string(length) + " bytes, not " +
           std::to_string(1 + kIpcTokenLength));
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
  awaitingHello_ = false;
  frame->kind = kind;
  frame->payload = std::move(payload);
  return Result::kFrame;
}

bool CIpcFrameDecoder::CheckKind(uint8_t kind) {
  const char* name = ipc::FrameKindName(kind);
  if (side_ == Side::kServer && awaitingHello_) {
    if (kind == kIpcFrameHello) {
      return true;
    }
    return Refuse(std::string("first frame from the client is kind ") + std::to_string(kind) +
                  " (" + name + "), not HELLO");
  }
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
    return Refuse(std::string("first frame from the server is kind ") + std::to_string(kind) +
                  " (" + name + "), not INIT");
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
