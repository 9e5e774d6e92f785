// tbxIpc: the client side of the agent's local IPC. Every state is 0 on success.
//
// One client per process. The library calls the three callbacks of IpcInitParam on its own
// threads: connected (with the server's init info) after each successful connection,
// disconnected on its loss, receive with one whole message per call.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

typedef void (*IpcReceiveCallback)(const char* data, int32_t length);
typedef void (*IpcDisconnectedCallback)();
typedef void (*IpcConnectedCallback)(const std::string& initInfo);
typedef void (*IpcLogCallback)(const std::string& text);

// The init record, packed without padding. Field order and widths are the contract; pointer
// fields are as wide as the platform's, so the record is 26 bytes where pointers are 32-bit.
#pragma pack(push, 1)
struct IpcInitParam {
  uint16_t size;                           // sizeof(IpcInitParam)
  const char* clientName;                  // zero-terminated; valid during InitIpcClient only
  uint32_t clientNameLength;               // in bytes, without the zero
  IpcReceiveCallback onReceive;            // one whole message per call
  IpcDisconnectedCallback onDisconnected;  // after the loss of a connection
  IpcConnectedCallback onConnected;        // after each connection, with the init info
  uint32_t reserved;                       // zero
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(IpcInitParam) == 26, "the init record is 26 bytes on 32-bit platforms");
#endif

// Where the library's own log lines go; null silences them.
TBXIPC_API int32_t SetLogCallback(IpcLogCallback callback);
// Initialises the client; the record is read during the call only.
TBXIPC_API int32_t InitIpcClient(const IpcInitParam* param);
// Connects to the server listening under `serverName`; the connected callback follows.
TBXIPC_API int32_t ConnectIpcServer(const std::string& serverName);
// True when the client has no live connection and a connect would be worthwhile.
TBXIPC_API bool IsIpcClientNeedConnect();
// One registration document (a REG frame).
TBXIPC_API int32_t IpcRegData(const char* text, uint32_t length);
// One message text (a DATA frame).
TBXIPC_API int32_t IpcSendData(const char* text, uint32_t length);
// One message with a serialized header (a DATA_EX frame).
TBXIPC_API int32_t IpcSendDataEx(const std::string& data, const std::string& header);
// Closes the connection and stops the library's threads; no callback runs after it returns.
TBXIPC_API int32_t FreeIpcClient();
