// tbxIpc: the states every call of the library returns; 0 is success.
#pragma once

#include <cstdint>

enum IpcState : int32_t {
  kIpcOk = 0,
  kIpcNotInitialised = 1,     // InitIpcClient has not succeeded, or FreeIpcClient ran since
  kIpcInvalidArgument = 2,    // a null or malformed argument, or a name too long for an address
  kIpcNoServer = 3,           // nobody listens under the name
  kIpcPeerRejected = 4,       // the peer runs as neither this process's user nor root, or
                              // does not know the token of a loopback endpoint
  kIpcHandshakeFailed = 5,    // the server did not accept or greet in time, or closed first
  kIpcNotConnected = 6,       // a send without a live connection
  kIpcSendFailed = 7,         // the frame could not be written in time; the connection is closed
  kIpcTooLarge = 8,           // the frame would be longer than 16 MiB
  kIpcSystemError = 9,        // a socket, thread or file system call failed
  kIpcNameInUse = 10,         // another live server owns the name
  kIpcSimulatedFailure = 11,  // the operation is listed in TBX_STANDIN_FAIL
};
