#include "KorvexAgent.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "JsonLine.h"
#include "KorvexEnvelopes.h"
#include "ipc/SimpleSerialization.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcStates.h"
#include "tbxIpc/IpcTransport.h"
#include "tbxIpc/SerializationParser.h"

const char CKorvexAgent::kServerName[] = "Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>";
const char CKorvexAgent::kAltServerName[] = "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13";

namespace {

constexpr const char* kBlank = " \t";

// The little-endian integer in a fixed-size header value of 1, 2, 4 or 8 bytes.
bool FixedNumber(const std::string& value, int64_t* number) {
  if (value.size() != 1 && value.size() != 2 && value.size() != 4 && value.size() != 8) {
    return false;
  }
  uint64_t bits = 0;
  for (size_t i = value.size(); i-- > 0;) {
    bits = (bits << 8) | static_cast<unsigned char>(value[i]);
  }
  // Sign-extend from the value's own width: "prio" is a signed 32-bit number.
  const unsigned width = static_cast<unsigned>(value.size() * 8);
  if (width < 64 && (bits >> (width - 1)) != 0) {
    bits |= ~uint64_t{0} << width;
  }
  *number = static_cast<int64_t>(bits);
  return true;
}

void AddHeaderValue(const SerializationEntry& entry, CJsonLine* line) {
  int64_t number = 0;
  if (entry.kind == CSimpleSerialization::kFixed && FixedNumber(entry.value, &number)) {
    line->Add(entry.key.c_str(), number);
  } else {
    line->Add(entry.key.c_str(), entry.value);
  }
}

bool IsKnownHeaderKey(const std::string& key) {
  return key == "type" || key == "prio" || key == "ipc_msg" || key == "obj_id";
}

// The header fields the monitor sends go beside the frame's own members; any other key goes
// into "other_header", where it cannot collide with them.
void AddHeader(const std::string& header, CJsonLine* line) {
  std::vector<SerializationEntry> entries;
  if (!ParseSerializationBuffer(header, entries)) {
    line->Add("header_error", "malformed serialized header");
    return;
  }
  bool others = false;
  for (const auto& entry : entries) {
    if (IsKnownHeaderKey(entry.key)) {
      AddHeaderValue(entry, line);
    } else {
      others = true;
    }
  }
  if (!others) {
    return;
  }
  line->BeginObject("other_header");
  for (const auto& entry : entries) {
    if (!IsKnownHeaderKey(entry.key)) {
      AddHeaderValue(entry, line);
    }
  }
  line->EndObject();
}

// Splits "word rest" at the first run of blanks.
void SplitWord(const std::string& text, std::string* word, std::string* rest) {
  const size_t start = text.find_first_not_of(kBlank);
  if (start == std::string::npos) {
    word->clear();
    rest->clear();
    return;
  }
  const size_t end = text.find_first_of(kBlank, start);
  *word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t next =
      end == std::string::npos ? std::string::npos : text.find_first_not_of(kBlank, end);
  *rest = next == std::string::npos ? std::string() : text.substr(next);
}

}  // namespace

CKorvexAgent::CKorvexAgent(CKorvexTranscript* transcript)
    : transcript_(transcript),
      server_(CIpcServer::Handlers{
          [this](uint64_t client) {
            transcript_->Write(CJsonLine()
                                   .Add("time", CKorvexTranscript::Now())
                                   .Add("event", "connected")
                                   .Add("client", static_cast<int64_t>(client))
                                   .Finish());
          },
          [this](uint64_t client, const CIpcServer::Message& message) {
            OnMessage(client, message);
          },
          [this](uint64_t client, const std::string& reason) {
            transcript_->Write(CJsonLine()
                                   .Add("time", CKorvexTranscript::Now())
                                   .Add("event", "disconnected")
                                   .Add("client", static_cast<int64_t>(client))
                                   .Add("reason", reason)
                                   .Finish());
          },
          [](const std::string& line) { std::fprintf(stderr, "Korvex: %s\n", line.c_str()); }}) {}

int32_t CKorvexAgent::Start(const std::string& name, const std::string& ipcDir,
                            const std::string& initInfo) {
  server_.SetInitInfo(initInfo);
  const int32_t state = server_.Start(name, ipcDir);
  if (state == kIpcOk) {
    transcript_->Write(CJsonLine()
                           .Add("time", CKorvexTranscript::Now())
                           .Add("event", "listening")
                           .Add("name", name)
                           .Add("path", server_.EndpointPath())
                           .Add("transport", ipc::TransportName(ipc::SelectedTransport()))
                           .Add("init_info", initInfo)
                           .Finish());
  }
  return state;
}

void CKorvexAgent::Stop() {
  server_.Stop();
}

void CKorvexAgent::OnMessage(uint64_t client, const CIpcServer::Message& message) {
  CJsonLine line;
  line.Add("time", CKorvexTranscript::Now())
      .Add("event", "frame")
      .Add("client", static_cast<int64_t>(client))
      .Add("kind", ipc::FrameKindName(message.kind));
  if (message.kind == kIpcFrameDataEx) {
    AddHeader(message.header, &line);
  }
  line.Add("text", message.text);
  transcript_->Write(line.Finish());
}

void CKorvexAgent::Event(const std::string& event, const std::string& text) {
  CJsonLine line;
  line.Add("time", CKorvexTranscript::Now()).Add("event", event);
  if (!text.empty()) {
    line.Add("text", text);
  }
  transcript_->Write(line.Finish());
}

void CKorvexAgent::Broadcast(const std::string& command, const std::string& text) {
  const size_t reached = server_.SendToAll(text);
  transcript_->Write(CJsonLine()
                         .Add("time", CKorvexTranscript::Now())
                         .Add("event", "sent")
                         .Add("command", command)
                         .Add("clients", static_cast<int64_t>(reached))
                         .Add("text", text)
                         .Finish());
}

bool CKorvexAgent::Execute(const std::string& rawLine) {
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  std::string command;
  std::string rest;
  SplitWord(line, &command, &rest);
  if (command.empty() || command[0] == '#') {
    return true;
  }
  if (command == "quit") {
    Event("quit", "");
    return false;
  }
  if ((command == "stop" || command == "unload") && rest.empty()) {
    Broadcast(command, korvex::CheckEnvelope(command, ++commandIndex_));
  } else if (command == "send") {
    std::string type;
    std::string data;
    SplitWord(rest, &type, &data);
    if (type.empty()) {
      Event("error", "usage: send TYPE DATA");
    } else {
      Broadcast(command, korvex::MessageEnvelope(type, data));
    }
  } else if (command == "version") {
    char* end = nullptr;
    errno = 0;
    const long long version = std::strtoll(rest.c_str(), &end, 10);
    if (rest.empty() || *end != '\0' || errno != 0) {
      Event("error", "usage: version N (an integer)");
    } else {
      const std::string initInfo = "{\"version\":" + std::to_string(version) + "}";
      server_.SetInitInfo(initInfo);
      Event("init_info", initInfo);
    }
  } else if (command == "drop" && rest.empty()) {
    const size_t dropped = server_.CloseAll();
    transcript_->Write(CJsonLine()
                           .Add("time", CKorvexTranscript::Now())
                           .Add("event", "dropped")
                           .Add("clients", static_cast<int64_t>(dropped))
                           .Finish());
  } else {
    Event("error", "unknown command: " + line);
  }
  return true;
}
