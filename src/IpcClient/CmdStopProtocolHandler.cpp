#include "IpcClient/CmdStopProtocolHandler.h"

#include "IpcClient/ReceivedJson.h"
#include "MonitorNames.h"
#include "tbx/LogMessage.h"
#include "tbx/StringUtil.h"
#include "tbx/ToolUtil.h"
#include "win32/Win32.h"

namespace {

const char kLogSource[] = "IpcClient\\IpcClientMonitor";
constexpr uint32_t kStopDelayMilliseconds = 3000;

// The members every command must carry as strings, in the order they are checked.
const char* const kRequiredMembers[] = {"check", "cmd_idx", "view_type", "view_object",
                                        "view_param"};

std::string StringMember(const rapidjson::Document& document, const char* name) {
  const rapidjson::Value& value = document[name];
  return std::string(value.GetString(), value.GetStringLength());
}

}  // namespace

void CCmdStopProtocolHandler::Handle(const std::string& data) {
  if (data.empty()) {
    tbx::CLogMessage::log(tbx::TBX_LOG_ERROR, kLogSource, __LINE__,
                          "CCmdStopProtocolHandler Msg Empty");
    return;
  }
  switch (ParseCommand(data)) {
    case Verb::kStop:
      tbx::CLogMessage::log(tbx::TBX_LOG_WARN, kLogSource, __LINE__, "on cmd stop monitor...");
      tbx::CToolUtil::msleep(kStopDelayMilliseconds);
      ExitProcess(0);
    case Verb::kUnload:
      tbx::CLogMessage::log(tbx::TBX_LOG_INFO, kLogSource, __LINE__, "on cmd unload monitor...");
      unloadRequested_ = true;
      return;
    case Verb::kIgnore:
      return;
  }
}

CCmdStopProtocolHandler::Verb CCmdStopProtocolHandler::ParseCommand(const std::string& data) {
  rapidjson::Document document;
  if (data.empty() || !ParseReceivedJson(data, &document) || !document.IsObject()) {
    return Verb::kIgnore;
  }
  for (const char* name : kRequiredMembers) {
    auto member = document.FindMember(name);
    if (member == document.MemberEnd() || !member->value.IsString()) {
      return Verb::kIgnore;
    }
  }
  const std::string check = StringMember(document, "check");
  Verb verb = Verb::kIgnore;
  if (tbx::CStringUtil::stringEqual(check, "stop", false)) {
    verb = Verb::kStop;
  } else if (tbx::CStringUtil::stringEqual(check, "unload", false)) {
    verb = Verb::kUnload;
  }
  if (verb == Verb::kIgnore) {
    return Verb::kIgnore;
  }
  // "cmd_idx" is the sender's; this process has no use for it.
  if (!tbx::CStringUtil::stringEqual(StringMember(document, "view_type"), kMonitorPluginName,
                                     false)) {
    return Verb::kIgnore;  // meant for another plug-in
  }
  return verb;
}
