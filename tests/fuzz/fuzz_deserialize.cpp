// Any received byte string through message deserialisation. Beyond not crashing: a text reads
// the same as its part before the first NUL byte, and object data handed on must itself be a
// well-formed object text with the members of the original, within the nesting bound. (Bytes
// may differ: a double re-parsed at RapidJSON's default precision can move by one unit in the
// last place.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "IpcClient/IpcProtocolHandlerThread.h"
#include "IpcClient/ReceivedJson.h"

namespace {

// The member count of the envelope's object "data", or -1 when "data" is not an object.
int64_t ObjectDataMembers(const std::string& text) {
  rapidjson::Document envelope;
  if (!ParseReceivedJson(text, &envelope) || !envelope.IsObject()) {
    return -1;
  }
  auto data = envelope.FindMember("data");
  if (data == envelope.MemberEnd() || !data->value.IsObject()) {
    return -1;
  }
  return data->value.MemberCount();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  std::string type;
  std::string data;
  const bool ok = CIpcProtocolHandlerThread::Deserialize(text, type, data);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    std::string typeBeforeNul;
    std::string dataBeforeNul;
    if (CIpcProtocolHandlerThread::Deserialize(text.substr(0, nul), typeBeforeNul, dataBeforeNul) !=
            ok ||
        typeBeforeNul != type || dataBeforeNul != data) {
      std::abort();
    }
  }
  if (!ok) {
    return 0;
  }
  const int64_t members = ObjectDataMembers(text);
  if (members < 0) {
    return 0;
  }
  rapidjson::Document again;
  if (!ParseReceivedJson(data, &again) || !again.IsObject() || again.MemberCount() != members) {
    std::abort();
  }
  return 0;
}
