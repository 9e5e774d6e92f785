// tbxIpc: wakes a thread waiting on sockets (the server's accept thread) from another thread.
#pragma once

#include <string>

#include "IpcSocket.h"

class CIpcWaker {
 public:
  CIpcWaker() = default;
  ~CIpcWaker();

  CIpcWaker(const CIpcWaker&) = delete;
  CIpcWaker& operator=(const CIpcWaker&) = delete;

  // False, with the reason, when the system refuses the means.
  bool Open(std::string* why);

  // Makes handle() readable until the next Drain(); safe from any thread, and several wakes
  // before a drain count as one.
  void Wake();
  void Drain();

  // What to wait on beside the other sockets (WaitReadable).
  ipc::SocketHandle handle() const { return handle_; }

 private:
  ipc::SocketHandle handle_ = ipc::kNoSocket;
};
