// Any received byte string through message deserialisation. Beyond not crashing: object data
// handed on must itself be a well-formed object text that re-serialises to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "IpcClient/IpcProtocolHandlerThread.h"
#include "IpcClient/ReceivedJson.h"

namespace {

bool HasObjectData(const std::string& text) {
  rapidjson::Document envelope;
  if (!ParseReceivedJson(text, &envelope) || !envelope.IsObject()) {
    return false;
  }
  auto data = envelope.FindMember("data");
  return data != envelope.MemberEnd() && data->value.IsObject();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  std::string type;
  std::string data;
  if (!CIpcProtocolHandlerThread::Deserialize(text, type, data) || !HasObjectData(text)) {
    return 0;
  }
  rapidjson::Document again;
  if (!ParseReceivedJson(data, &again) || !again.IsObject()) {
    std::abort();
  }
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  if (!again.Accept(writer) || std::string(buffer.GetString(), buffer.GetSize()) != data) {
    std::abort();
  }
  return 0;
}
