// The fixture of the suites about what only loopback TCP has: that transport, a private
// endpoint directory, and the events and log lines of the servers a case starts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "IpcTestSupport.h"
#include "tbxIpc/IpcServer.h"

namespace ipctest {

class LoopbackFixture : public ::testing::Test {
 protected:
  static constexpr const char* kName = "srv";

  // Handlers that record "connected:<id>" and "disconnected:<id>" in `events`, log lines in
  // `logs`.
  CIpcServer::Handlers Recording() {
    CIpcServer::Handlers handlers;
    handlers.onConnected = [this](uint64_t id) { events.Add("connected:" + std::to_string(id)); };
    handlers.onDisconnected = [this](uint64_t id, const std::string&) {
      events.Add("disconnected:" + std::to_string(id));
    };
    handlers.onLog = [this](const std::string& line) { logs.Add(line); };
    return handlers;
  }
  // The endpoint file of kName.
  std::string path() const { return dir.SocketPath(kName); }
  // Waits for a log line holding `piece`.
  bool Logged(const std::string& piece) {
    return logs.WaitFor([&](const std::string& l) { return l.find(piece) != l.npos; });
  }

  korvex_test::ScopedEnv tcp{"TBX_IPC_TRANSPORT", "tcp"};
  ScopedIpcDir dir;
  EventLog events;
  EventLog logs;
};

}  // namespace ipctest
