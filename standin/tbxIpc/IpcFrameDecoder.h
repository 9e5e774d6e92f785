// tbxIpc: turns the bytes of one stream into frames, enforcing what one end accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Export.h"
#include "IpcFrame.h"

class TBXIPC_API CIpcFrameDecoder {
 public:
  // Which end reads the stream. The server side accepts REG, DATA and well-formed DATA_EX
  // frames; the client side accepts one INIT frame, which must come first, then DATA frames.
  // With `handshake` (loopback TCP) the frames of the opening exchange come first, each of
  // exactly its size: HELLO then PROOF on the server side, one PROOF on the client side.
  // HELLO and PROOF are refused everywhere else.
  enum class Side { kServer, kClient };
  enum class Result { kFrame, kNeedMore, kError };

  explicit CIpcFrameDecoder(Side side, bool handshake = false);

  CIpcFrameDecoder(const CIpcFrameDecoder&) = delete;
  CIpcFrameDecoder& operator=(const CIpcFrameDecoder&) = delete;

  // Takes the next `size` bytes of the stream. Ignored once the stream has failed.
  void Append(const char* data, size_t size);

  // The next complete frame. kError is final: the stream is unusable from then on and
  // error() says why. A frame's length and kind are checked as soon as its first five bytes
  // are in, so a refused frame is never buffered.
  Result Next(IpcFrame* frame);

  const std::string& error() const { return error_; }
  // True while bytes of an incomplete frame are buffered.
  bool MidFrame() const { return !failed_ && buffer_.size() > consumed_; }

 private:
  bool Refuse(const std::string& why);
  // Each false (and failed) when this side refuses the frame announced by the prefix.
  bool CheckHandshakeFrame(uint8_t kind, uint32_t length);
  bool CheckKind(uint8_t kind);
  void Compact();

  const Side side_;
  size_t handshakeLeft_;  // frames of the opening exchange still to come
  std::string buffer_;    // received bytes; [0, consumed_) are already decoded
  size_t consumed_ = 0;   // bytes of buffer_ handed out as frames
  bool sawInit_ = false;  // client side: the INIT frame has arrived
  bool failed_ = false;   // a refused frame ended the stream
  std::string error_;     // why the stream failed
};
