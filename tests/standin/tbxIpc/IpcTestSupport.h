// Helpers for the tbxIpc tests: private endpoint directories, raw peers that speak (or break)
// the frame format by hand, and waiting for events from other threads.
//
// The raw peers follow the transport of the run (TBX_IPC_TRANSPORT), so one suite checks
// both: over loopback TCP a raw client and a raw server publishing an endpoint file complete
// the handshake by hand, and then stand exactly where a Unix-domain peer would start talking.
//
// The raw peers are built on the library's own socket calls (non-blocking handles), so they
// run on every system; what only one system has lives in posix/ and windows/ beside this.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tbxIpc/IpcFrame.h"
#include "tbxIpc/IpcSocket.h"

namespace ipctest {

using korvex_test::TempDir;

// How long a test waits for something another thread or process does before it fails.
constexpr std::chrono::seconds kPatience(10);

// Points TBX_IPC_DIR at <fresh temp dir>/ipc for its lifetime, so the client library and
// servers started with the default directory meet only each other.
class ScopedIpcDir {
 public:
  ScopedIpcDir();
  ~ScopedIpcDir();
  const std::string& ipcDir() const { return ipcDir_; }
  // The endpoint path of `name` in this directory.
  std::string SocketPath(const std::string& name) const;

 private:
  korvex_test::TempDir root_;
  std::string ipcDir_;
};

// Ordered record of events written by other threads.
class EventLog {
 public:
  void Add(const std::string& event);
  // Waits until `count` events are recorded; false when patience runs out.
  bool WaitForCount(size_t count);
  // Waits until some event satisfies `match`.
  bool WaitFor(const std::function<bool(const std::string&)>& match);
  std::vector<std::string> Snapshot() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

// True when this run's transport is loopback TCP.
bool OverTcp();

// A raw peer's socket; kNoSocket (-1) when there is none.
using RawSocket = ipc::SocketHandle;

// Raw socket helpers for the endpoint at `path`. Each returns -1 / false on failure.
// Over TCP, ConnectRaw completes the handshake with the endpoint file's token.
RawSocket ConnectRaw(const std::string& path);
RawSocket ListenRaw(const std::string& path);
// Over TCP, also completes the server's part of the handshake, failing unless the client
// proves it knows the token ListenRaw published.
RawSocket AcceptRaw(RawSocket listener);
void CloseRaw(RawSocket socket);
bool WriteAll(RawSocket socket, const std::string& bytes);
// Reads exactly `size` bytes, waiting at most kPatience.
bool ReadExactly(RawSocket socket, size_t size, std::string* out);
// Reads one frame's kind and payload.
bool ReadFrame(RawSocket socket, IpcFrame* frame);
// True when the peer has closed (or reset) the connection within kPatience; what arrived
// before goes to `received` when given.
bool WaitForEof(RawSocket socket, std::string* received = nullptr);
std::string Frame(uint8_t kind, const std::string& payload);

// Loopback TCP pieces for tests that speak (or break) the handshake themselves.

// Connects to the port of the endpoint file at `path` and sends nothing; the file's token
// goes to `token`.
RawSocket ConnectTcpSilently(const std::string& path, std::string* token);
// Listens on a loopback port and writes the endpoint file at `path` naming it and `token`.
RawSocket ListenTcp(const std::string& path, const std::string& token);
// Accepts one connection of `listener` within kPatience and reads nothing.
RawSocket AcceptSilently(RawSocket listener);
// The client's first half: sends HELLO with `clientNonce`, then reads the PROOF frame that
// answers it; its payload (the server's nonce and proof) goes to `serverProof`.
bool HelloAndServerProof(RawSocket socket, const std::string& clientNonce,
                         std::string* serverProof);
// Whether the server's PROOF payload `serverProof` holds under `token` for `clientNonce`.
bool ServerProofHolds(const std::string& token, const std::string& clientNonce,
                      const std::string& serverProof);
// The client's PROOF frame under `token` for that exchange.
std::string ClientProofFrame(const std::string& token, const std::string& clientNonce,
                             const std::string& serverProof);

// The directory holding the built executables and stand-in libraries.
std::string BinDir();

// What each system does in its own way (posix/, windows/IpcTestSystem.cpp).

// Unix-domain sockets, a connecting and a listening one at `path`; kNoSocket where the system
// has none (Windows, whose only transport is loopback TCP).
RawSocket ConnectUnixRaw(const std::string& path);
RawSocket ListenUnixRaw(const std::string& path);
// Makes directory `dir` for the current user alone; false when it cannot.
bool MakePrivateDir(const std::string& dir);
// Makes directory `dir` open to every user; false when it cannot.
bool MakeSharedDir(const std::string& dir);
// Whether only the current user may reach the file or directory at `path`: mode 0600 (a file)
// or 0700 (a directory) on POSIX, on Windows an access list whose every granting entry names
// the current user, LocalSystem or the Administrators. False with the reason in `why`
// otherwise.
bool OnlyTheUserMayAccess(const std::string& path, std::string* why);
// `path` as the system spells it once links and "." / ".." are resolved; "" when it cannot.
std::string CanonicalPath(const std::string& path);

}  // namespace ipctest
