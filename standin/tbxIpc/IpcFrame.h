// tbxIpc: the frames both ends exchange over a local stream socket.
//
// Every frame: length (u32 little-endian, counting the kind byte and the payload), kind (u8),
// payload. A DATA_EX payload is: header length (u32 little-endian), header bytes, data bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Export.h"

enum IpcFrameKind : uint8_t {
  kIpcFrameInit = 1,    // server -> client, first frame after accept: the init info text
  kIpcFrameReg = 2,     // client -> server: one registration document
  kIpcFrameData = 3,    // both ways: one message text
  kIpcFrameDataEx = 4,  // client -> server: serialized header and message text
  kIpcFrameHello = 5,   // client -> server on loopback TCP, first frame only: the token
};

// Characters of the token a HELLO frame carries: lowercase hexadecimal digits.
constexpr size_t kIpcTokenLength = 32;

// Largest value of the length field (kind byte + payload) either end accepts or sends.
constexpr uint32_t kIpcMaxFrameLength = 16u * 1024u * 1024u;
// Bytes in front of every payload: the length field and the kind byte.
constexpr size_t kIpcFramePrefixSize = 5;

struct IpcFrame {
  uint8_t kind = 0;
  std::string payload;
};

namespace ipc {

// The printable name of a kind ("INIT", "REG", "DATA", "DATA_EX", "HELLO" or "UNKNOWN").
TBXIPC_API const char* FrameKindName(uint8_t kind);

// The whole frame for `payload`; false when the payload is too large for one frame.
TBXIPC_API bool EncodeFrame(uint8_t kind, const std::string& payload, std::string* frame);

// The DATA_EX payload carrying `header` beside `data`.
TBXIPC_API std::string EncodeDataExPayload(const std::string& header, const std::string& data);

// Splits a DATA_EX payload; false when the header length runs past the payload.
TBXIPC_API bool SplitDataExPayload(const std::string& payload, std::string* header,
                                   std::string* data);

// Little-endian u32 at `p` (which must hold 4 bytes) and its inverse.
TBXIPC_API uint32_t ReadU32Le(const char* p);
TBXIPC_API void AppendU32Le(uint32_t value, std::string* out);

}  // namespace ipc
