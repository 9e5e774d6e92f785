// Test seams of the stand-in IPC library, for the library's own unit tests.
#pragma once

#include "Export.h"

namespace ipc::testing {

// How long a loopback server waits for a client's HELLO frame, in milliseconds, for servers
// started from now on; <= 0 restores the 5000 ms.
TBXIPC_API void OverrideHelloTimeoutMs(int milliseconds);

}  // namespace ipc::testing
