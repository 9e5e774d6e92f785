// Test seams of the stand-in IPC library, for the library's own unit tests.
#pragma once

#include "Export.h"

namespace ipc::testing {

// How long a loopback server gives a client to complete its part of the handshake, in
// milliseconds, for servers started from now on; <= 0 restores the 5000 ms.
TBXIPC_API void OverrideHandshakeTimeoutMs(int milliseconds);

}  // namespace ipc::testing
