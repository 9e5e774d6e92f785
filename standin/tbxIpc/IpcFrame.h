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
  kIpcFrameInit = 1,    // server -> client, first frame (after any handshake): the init info
  kIpcFrameReg = 2,     // client -> server: one registration document
  kIpcFrameData = 3,    // both ways: one message text
  kIpcFrameDataEx = 4,  // client -> server: serialized header and message text
  kIpcFrameHello = 5,   // loopback TCP handshake, client -> server: the client's nonce
  kIpcFrameProof = 6,   // loopback TCP handshake, both ways: what shows the sender knows the token
};

// Lowercase hexadecimal digits of the token in an endpoint file and of a handshake nonce: 16
// bytes from the system's random generator.
constexpr size_t kIpcTokenLength = 32;
constexpr size_t kIpcNonceLength = 32;
// Lowercase hexadecimal digits of a handshake proof, an HMAC-SHA256.
constexpr size_t kIpcProofLength = 64;

// Largest value of the length field (kind byte + payload) either end accepts or sends.
constexpr uint32_t kIpcMaxFrameLength = 16u * 1024u * 1024u;
// Bytes in front of every payload: the length field and the kind byte.
constexpr size_t kIpcFramePrefixSize = 5;

struct IpcFrame {
  uint8_t kind = 0;
  std::string payload;
};

namespace ipc {

// The printable name of a kind ("INIT", "REG", "DATA", "DATA_EX", "HELLO", "PROOF" or
// "UNKNOWN").
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
