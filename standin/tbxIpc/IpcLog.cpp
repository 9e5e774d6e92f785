#include "IpcLog.h"

#include <atomic>

namespace ipc {

namespace {

std::atomic<IpcLogCallback> g_sink{nullptr};

}  // namespace

void SetLogSink(IpcLogCallback sink) {
  g_sink.store(sink);
}

void Log(const std::string& text) {
  const IpcLogCallback sink = g_sink.load();
  if (sink != nullptr) {
    sink("tbxIpc: " + text);
  }
}

}  // namespace ipc
