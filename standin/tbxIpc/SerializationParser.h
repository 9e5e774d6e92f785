// Reading a serialized message header back: the simulated agent and the tests decode what the
// monitor's CSimpleSerialization built (layout in platform/ipc/SimpleSerialization.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Export.h"

struct SerializationEntry {
  std::string key;
  uint8_t kind;  // CSimpleSerialization::kText or kFixed
  std::string value;
};

// Decodes `buffer` into its entries, in order; false (and no entries) on a malformed buffer.
TBXIPC_API bool ParseSerializationBuffer(const std::string& buffer,
                                            std::vector<SerializationEntry>& entries);
