// The simulated main agent Korvex.exe of a temporary installation, driven like an operator
// would: commands on its stdin, and its JSON-line transcript read back as events. One
// transcript file spans restarts, so events of an earlier run stay countable.
#pragma once

#include <json/json.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "e2e/ChildProcess.h"
#include "e2e/TempInstallation.h"
#include "e2e/Wait.h"

namespace e2e {

// One line of the transcript.
struct AgentEvent {
  std::string event;  // "listening", "connected", "frame", "disconnected", "sent", ...
  std::string kind;   // of a frame: "REG", "DATA" or "DATA_EX"
  std::string type;   // of a DATA or DATA_EX frame: the message type
  std::string data;   // of a DATA or DATA_EX frame: the message body as the monitor gave it
  std::string text;   // the frame's payload (a registration document, an envelope) as sent
  Json::Value line;   // the whole parsed line
};

class AgentSession {
 public:
  // `installation` must outlive the session.
  explicit AgentSession(const TempInstallation& installation);
  // Kills a still running agent.
  ~AgentSession() = default;

  // Starts Korvex.exe with `extraArgs` and waits until it listens.
  ::testing::AssertionResult Start(const std::vector<std::string>& extraArgs = {});
  // "quit", then waits for the end (killing it when it does not end).
  ::testing::AssertionResult Quit();
  // The agent process of the last Start.
  ChildProcess& process() { return *process_; }

  // One command line ("stop", "unload", "send TYPE DATA", "drop", ...).
  ::testing::AssertionResult Command(const std::string& line);
  ::testing::AssertionResult Send(const std::string& type, const std::string& data) {
    return Command("send " + type + " " + data);
  }

  // Every event so far, in transcript order.
  const std::vector<AgentEvent>& Events();
  // Frames (REG, DATA, DATA_EX) carrying `type`; for REG frames pass type "" and kind "REG".
  std::vector<AgentEvent> Frames(const std::string& kind, const std::string& type = "");
  std::vector<AgentEvent> MessagesOfType(const std::string& type) { return Frames("", type); }
  size_t CountEvents(const std::string& event);

  // Waits until at least `count` events satisfy `match`; `found` gets the count-th.
  ::testing::AssertionResult WaitForEvents(const std::string& what,
                                           const std::function<bool(const AgentEvent&)>& match,
                                           size_t count = 1, AgentEvent* found = nullptr,
                                           std::chrono::milliseconds limit = kWaitLimit);
  // Waits until at least `count` messages of `type` (DATA or DATA_EX frames) arrived.
  ::testing::AssertionResult WaitForMessage(const std::string& type, size_t count = 1,
                                            AgentEvent* found = nullptr,
                                            std::chrono::milliseconds limit = kWaitLimit);

  const std::string& TranscriptPath() const { return transcriptPath_; }
  // The last `lines` lines of the transcript, for failure messages.
  std::string TranscriptTail(size_t lines) const;

 private:
  AgentSession(const AgentSession&) = delete;
  AgentSession& operator=(const AgentSession&) = delete;

  // Parses lines appended to the transcript since the last call.
  void ReadNewLines();

  const TempInstallation& installation_;
  const std::string transcriptPath_;       // the agent's standard output, across restarts
  std::unique_ptr<ChildProcess> process_;  // the agent of the last Start; replaced by Start
  std::vector<AgentEvent> events_;         // parsed so far
  size_t readOffset_ = 0;                  // bytes of the transcript parsed into events_
  int started_ = 0;                        // Start calls, numbering the launcher's pid files
};

// Parses one transcript line; false when it is not a JSON object.
bool ParseAgentEvent(const std::string& line, AgentEvent* event);

}  // namespace e2e
