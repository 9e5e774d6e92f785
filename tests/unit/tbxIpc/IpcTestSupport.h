// Helpers for the tbxIpc tests: private socket directories, raw peers that speak (or break)
// the frame format by hand, and waiting for events from other threads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tbxIpc/IpcFrame.h"

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
  // The socket path of `name` in this directory.
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

// Raw socket helpers. Each returns -1 / false on failure.
int ConnectRaw(const std::string& path);
int ListenRaw(const std::string& path);
int AcceptRaw(int listenFd);
bool WriteAll(int fd, const std::string& bytes);
// Reads exactly `size` bytes, waiting at most kPatience.
bool ReadExactly(int fd, size_t size, std::string* out);
// Reads one frame's kind and payload.
bool ReadFrame(int fd, IpcFrame* frame);
// True when the peer has closed: a read returns end of stream within kPatience.
bool WaitForEof(int fd);
std::string Frame(uint8_t kind, const std::string& payload);

// The directory holding the built executables and stand-in libraries.
std::string BinDir();

}  // namespace ipctest
