#include "ipc/SimpleSerialization.h"

#include "IpcFrame.h"
#include "SerializationParser.h"

namespace {

constexpr size_t kMaxKeyLength = 255;

bool KeyFits(const std::string& key) {
  return !key.empty() && key.size() <= kMaxKeyLength;
}

}  // namespace

bool CSimpleSerialization::AddString(const std::string& key, const std::string& value) {
  if (value.size() > UINT32_MAX) {
    return false;
  }
  return Serialize(key, kText, static_cast<uint32_t>(value.size()), value.data());
}

bool CSimpleSerialization::Serialize(const std::string& key, uint8_t kind, uint32_t size,
                                     const void* value) {
  if (!KeyFits(key) || (kind != kText && kind != kFixed) || (value == nullptr && size != 0)) {
    return false;
  }
  buffer_.push_back(static_cast<char>(key.size()));
  buffer_.append(key);
  buffer_.push_back(static_cast<char>(kind));
  ipc::AppendU32Le(size, &buffer_);
  buffer_.append(static_cast<const char*>(value), size);
  return true;
}

std::string CSimpleSerialization::GetSerializationBuffer() const {
  return buffer_;
}

bool ParseSerializationBuffer(const std::string& buffer, std::vector<SerializationEntry>& entries) {
  entries.clear();
  size_t pos = 0;
  while (pos < buffer.size()) {
    const auto keyLength = static_cast<unsigned char>(buffer[pos]);
    // key length, key, kind, size
    if (keyLength == 0 || buffer.size() - pos < 1 + static_cast<size_t>(keyLength) + 1 + 4) {
      entries.clear();
      return false;
    }
    SerializationEntry entry;
    entry.key.assign(buffer, pos + 1, keyLength);
    pos += 1 + keyLength;
    entry.kind = static_cast<uint8_t>(buffer[pos]);
    const uint32_t size = ipc::ReadU32Le(buffer.data() + pos + 1);
    pos += 5;
    if ((entry.kind != CSimpleSerialization::kText && entry.kind != CSimpleSerialization::kFixed) ||
        size > buffer.size() - pos) {
      entries.clear();
      return false;
    }
    entry.value.assign(buffer, pos, size);
    pos += size;
    entries.push_back(std::move(entry));
  }
  return true;
}
