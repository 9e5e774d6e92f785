#include "KorvexSystem.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace korvex::sys {

namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

}  // namespace

void PrepareProcess() {
  // Threads inherit the mask, so every later thread (the IPC library's included) runs with
  // the stop signals blocked and only the watcher's sigwait takes them.
  signal(SIGPIPE, SIG_IGN);
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WatchStopRequests(std::function<void()> onStop) {
  std::thread([onStop = std::move(onStop)] {
    const sigset_t signals = StopSignals();
    int signalNumber = 0;
    sigwait(&signals, &signalNumber);
    onStop();
  }).detach();
}

FILE* OpenForAppend(const std::string& path) {
  return std::fopen(path.c_str(), "ae");
}

std::tm UtcTime(std::time_t seconds) {
  std::tm utc = {};
  gmtime_r(&seconds, &utc);
  return utc;
}

}  // namespace korvex::sys
