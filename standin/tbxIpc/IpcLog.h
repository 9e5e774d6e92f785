// tbxIpc: the client library's own log lines, handed to the callback of SetLogCallback.
#pragma once

#include <string>

#include "ipc/TbxIpc.h"

namespace ipc {

// Replaces the sink; null silences the library.
void SetLogSink(IpcLogCallback sink);

// Hands "tbxIpc: <text>" to the sink, if any. Callers hold no lock of the library.
void Log(const std::string& text);

}  // namespace ipc
