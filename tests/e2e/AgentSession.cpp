#include "e2e/AgentSession.h"

#include "e2e/TargetSystem.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

std::string ReadFrom(const std::string& path, size_t offset) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return "";
  }
  in.seekg(static_cast<std::streamoff>(offset));
  std::ostringstream rest;
  rest << in.rdbuf();
  return rest.str();
}

// The message body of a standard envelope ({"traceId":..,"type":..,"data":{"data":BODY}}) or
// of an IPC-only envelope ({"data":"BODY",...}), rendered back to text.
std::string EnvelopeData(const Json::Value& envelope) {
  const Json::Value& outer = envelope["data"];
  const Json::Value& body = outer.isObject() && outer.isMember("data") ? outer["data"] : outer;
  if (body.isString()) {
    return body.asString();
  }
  if (body.isNull()) {
    return "";
  }
  Json::StreamWriterBuilder compact;
  compact["indentation"] = "";
  return Json::writeString(compact, body);
}

bool ParseJson(const std::string& text, Json::Value* value) {
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  try {
    return Json::parseFromStream(builder, in, value, &errors);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool ParseAgentEvent(const std::string& line, AgentEvent* event) {
  Json::Value root;
  if (!ParseJson(line, &root) || !root.isObject()) {
    return false;
  }
  event->event = root.get("event", "").asString();
  event->kind = root.get("kind", "").asString();
  event->text = root.get("text", "").asString();
  if (event->event != "frame") {
    // What the agent sent can be a flood: its head is enough to recognise it.
    constexpr size_t kKeptBytes = 1024;
    if (event->text.size() > kKeptBytes) {
      event->text.resize(kKeptBytes);
      root["text"] = event->text;
    }
    event->line = std::move(root);
    return true;
  }
  event->line = root;
  if (event->kind == "DATA_EX") {
    // The serialized header carries the type; the payload is the body itself.
    event->type = root.get("type", "").asString();
    event->data = event->text;
  } else if (event->kind == "DATA") {
    Json::Value envelope;
    if (ParseJson(event->text, &envelope) && envelope.isObject()) {
      event->type = envelope.get("type", "").asString();
      event->data = EnvelopeData(envelope);
    }
  }
  return true;
}

AgentSession::AgentSession(const TempInstallation& installation)
    : installation_(installation),
      transcriptPath_(installation.Root() + "/agent_transcript.jsonl"),
      process_(std::make_unique<ChildProcess>()) {}

::testing::AssertionResult AgentSession::Start(const std::vector<std::string>& extraArgs) {
  process_->Kill();
  process_ = std::make_unique<ChildProcess>();
  const size_t listeningBefore = CountEvents("listening");
  ChildOptions options;
  options.argv = {installation_.Path("Korvex.exe")};
  options.argv.insert(options.argv.end(), extraArgs.begin(), extraArgs.end());
  options.workDir = installation_.BinDir();
  options.pipeStdin = true;
  options.stdoutPath = transcriptPath_;
  options.stderrPath = installation_.Root() + "/agent_stderr.txt";
  TargetSystem::Adapt(&options, installation_.Root() + "/agent_pid." + std::to_string(++started_));
  std::string error;
  if (!process_->Start(options, &error)) {
    return ::testing::AssertionFailure() << error;
  }
  AgentEvent listening;
  const ::testing::AssertionResult started = WaitForEvents(
      "Korvex.exe listening", [](const AgentEvent& event) { return event.event == "listening"; },
      listeningBefore + 1, &listening);
  // A run over loopback TCP must really use it: the variable reaches the agent and the monitor
  // through ChildProcess alone.
  const char* chosen = std::getenv("TBX_IPC_TRANSPORT");
  // Windows has loopback TCP alone.
  const std::string expected =
      TargetSystem::IsWindows() || (chosen != nullptr && std::string(chosen) == "tcp") ? "tcp"
                                                                                       : "unix";
  if (started && listening.line["transport"].asString() != expected) {
    return ::testing::AssertionFailure()
           << "Korvex.exe listens over " << listening.line["transport"] << ", not " << expected;
  }
  return started;
}

::testing::AssertionResult AgentSession::Quit() {
  if (!process_->IsRunning()) {
    return ::testing::AssertionSuccess();
  }
  process_->WriteStdin("quit\n");
  if (!process_->WaitForExit(kWaitLimit)) {
    process_->Kill();
    return ::testing::AssertionFailure() << "Korvex.exe did not end on quit";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult AgentSession::Command(const std::string& line) {
  if (!process_->WriteStdin(line + "\n")) {
    return ::testing::AssertionFailure()
           << "cannot write to Korvex.exe (" << process_->Describe() << "): " << line;
  }
  return ::testing::AssertionSuccess();
}

void AgentSession::ReadNewLines() {
  const std::string fresh = ReadFrom(transcriptPath_, readOffset_);
  const std::string::size_type lastBreak = fresh.rfind('\n');
  if (lastBreak == std::string::npos) {
    return;  // no complete line yet
  }
  readOffset_ += lastBreak + 1;
  for (const std::string& line : SplitLines(fresh.substr(0, lastBreak + 1))) {
    AgentEvent event;
    if (ParseAgentEvent(line, &event)) {
      events_.push_back(std::move(event));
    }
  }
}

const std::vector<AgentEvent>& AgentSession::Events() {
  ReadNewLines();
  return events_;
}

std::vector<AgentEvent> AgentSession::Frames(const std::string& kind, const std::string& type) {
  std::vector<AgentEvent> frames;
  for (const AgentEvent& event : Events()) {
    if (event.event == "frame" && (kind.empty() || event.kind == kind) &&
        (type.empty() || event.type == type)) {
      frames.push_back(event);
    }
  }
  return frames;
}

size_t AgentSession::CountEvents(const std::string& name) {
  size_t count = 0;
  for (const AgentEvent& event : Events()) {
    count += event.event == name ? 1 : 0;
  }
  return count;
}

::testing::AssertionResult AgentSession::WaitForEvents(
    const std::string& what, const std::function<bool(const AgentEvent&)>& match, size_t count,
    AgentEvent* found, std::chrono::milliseconds limit) {
  auto enough = [&] {
    size_t seen = 0;
    for (const AgentEvent& event : Events()) {
      if (match(event) && ++seen == count) {
        if (found != nullptr) {
          *found = event;
        }
        return true;
      }
    }
    return false;
  };
  ::testing::AssertionResult result =
      WaitFor(what + " (" + std::to_string(count) + " times)", enough, limit);
  if (!result) {
    result << "\nlast transcript lines of " << transcriptPath_ << ":\n" << TranscriptTail(15);
  }
  return result;
}

::testing::AssertionResult AgentSession::WaitForMessage(const std::string& type, size_t count,
                                                        AgentEvent* found,
                                                        std::chrono::milliseconds limit) {
  return WaitForEvents(
      "message " + type + " at the agent",
      [&type](const AgentEvent& event) { return event.event == "frame" && event.type == type; },
      count, found, limit);
}

std::string AgentSession::TranscriptTail(size_t lines) const {
  const std::vector<std::string> all = SplitLines(ReadFrom(transcriptPath_, 0));
  std::string tail;
  for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i) {
    tail += all[i].substr(0, 400) + "\n";
  }
  return tail;
}

}  // namespace e2e
