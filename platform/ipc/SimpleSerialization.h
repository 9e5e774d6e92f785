// tbxIpc: the key/value buffer of a serialized message header.
//
// Entries in insertion order, each: key length (u8), key bytes, value kind (u8: 0 text,
// 1 fixed-size value), value size (u32 little-endian), value bytes.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

class TBXIPC_API CSimpleSerialization {
 public:
  enum ValueKind : uint8_t { kText = 0, kFixed = 1 };

  CSimpleSerialization() = default;

  // Adds a text value; false when the key is empty or longer than 255 bytes.
  bool AddString(const std::string& key, const std::string& value);
  // Adds a value of `size` bytes copied from `value`; false as for AddString, for a kind other
  // than kText or kFixed, or when `value` is null with a non-zero size.
  bool Serialize(const std::string& key, uint8_t kind, uint32_t size, const void* value);
  // The buffer so far.
  std::string GetSerializationBuffer() const;

 private:
  std::string buffer_;  // the encoded entries
};
