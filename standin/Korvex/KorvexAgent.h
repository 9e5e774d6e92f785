// Korvex.exe: the simulated main agent. Serves the IPC clients, records what they send and
// carries out the operator's commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "KorvexTranscript.h"
#include "tbxIpc/IpcServer.h"

class CKorvexAgent {
 public:
  static const char kServerName[];     // the name the monitor tries first
  static const char kAltServerName[];  // the name it falls back to

  // `transcript` receives every event and must outlive the agent.
  explicit CKorvexAgent(CKorvexTranscript* transcript);

  CKorvexAgent(const CKorvexAgent&) = delete;
  CKorvexAgent& operator=(const CKorvexAgent&) = delete;

  // Listens under `name` in `ipcDir` ("" for the library's default), greeting every client
  // with `initInfo`. Returns the IpcState of the server's start.
  int32_t Start(const std::string& name, const std::string& ipcDir, const std::string& initInfo);

  // Carries out one command line: stop, unload, send TYPE DATA, version N, drop, quit. Blank
  // lines and lines starting with '#' do nothing. Returns false for "quit".
  bool Execute(const std::string& line);

  // Disconnects every client and stops listening.
  void Stop();

 private:
  void OnMessage(uint64_t client, const CIpcServer::Message& message);
  // Sends `text` to every client and records it as the outcome of `command`.
  void Broadcast(const std::string& command, const std::string& text);
  void Event(const std::string& event, const std::string& text);

  CKorvexTranscript* const transcript_;  // not owned
  CIpcServer server_;
  std::atomic<uint64_t> commandIndex_{0};  // cmd_idx of the last control command
};
