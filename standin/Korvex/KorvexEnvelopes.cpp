#include "KorvexEnvelopes.h"

#include <rapidjson/document.h>

#include "JsonLine.h"

namespace korvex {

std::string CheckEnvelope(const std::string& verb, uint64_t commandIndex) {
  CJsonLine line;
  line.Add("type", "T_MSG_CHECK")
      .BeginObject("data")
      .Add("check", verb)
      .Add("cmd_idx", std::to_string(commandIndex))
      .Add("view_type", "KorvexMonitor")
      .Add("view_object", "")
      .Add("view_param", "")
      .EndObject();
  return line.Finish();
}

std::string MessageEnvelope(const std::string& type, const std::string& data) {
  CJsonLine line;
  line.Add("type", type);
  if (IsJsonObject(data)) {
    line.AddRaw("data", data);
  } else {
    line.Add("data", data);
  }
  return line.Finish();
}

bool IsJsonObject(const std::string& text) {
  rapidjson::Document document;
  // Iterative parsing: no text can exhaust the stack however deeply it nests.
  document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag>(
      text.data(), text.size());
  return !document.HasParseError() && document.IsObject();
}

}  // namespace korvex
