#include "IpcFrame.h"

namespace ipc {

const char* FrameKindName(uint8_t kind) {
  switch (kind) {
    case kIpcFrameInit:
      return "INIT";
    case kIpcFrameReg:
      return "REG";
    case kIpcFrameData:
      return "DATA";
    case kIpcFrameDataEx:
      return "DATA_EX";
    case kIpcFrameHello:
      return "HELLO";
    case kIpcFrameProof:
      return "PROOF";
    default:
      return "UNKNOWN";
  }
}

uint32_t ReadU32Le(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void AppendU32Le(uint32_t value, std::string* out) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

bool EncodeFrame(uint8_t kind, const std::string& payload, std::string* frame) {
  if (payload.size() >= kIpcMaxFrameLength) {
    return false;
  }
  frame->clear();
  frame->reserve(kIpcFramePrefixSize + payload.size());
  AppendU32Le(static_cast<uint32_t>(payload.size() + 1), frame);
  frame->push_back(static_cast<char>(kind));
  frame->append(payload);
  return true;
}

std::string EncodeDataExPayload(const std::string& header, const std::string& data) {
  std::string payload;
  payload.reserve(4 + header.size() + data.size());
  AppendU32Le(static_cast<uint32_t>(header.size()), &payload);
  payload.append(header);
  payload.append(data);
  return payload;
}

bool SplitDataExPayload(const std::string& payload, std::string* header, std::string* data) {
  if (payload.size() < 4) {
    return false;
  }
  const uint32_t headerLength = ReadU32Le(payload.data());
  if (headerLength > payload.size() - 4) {
    return false;
  }
  header->assign(payload, 4, headerLength);
  data->assign(payload, 4 + static_cast<size_t>(headerLength), std::string::npos);
  return true;
}

}  // namespace ipc
