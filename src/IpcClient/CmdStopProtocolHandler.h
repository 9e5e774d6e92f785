// The handler of the main agent's control command ("T_MSG_CHECK"): "stop" ends the process,
// "unload" leaves a request that the connection monitor's timer carries out. Commands meant for
// another plug-in, and malformed ones, are ignored without a trace.
#pragma once

#include <atomic>
#include <string>

#include "valko/IProtocolHandler.h"

class CCmdStopProtocolHandler : public IProtocolHandler {
 public:
  // What a command data text asks of this process.
  enum class Verb {
    kIgnore,  // malformed, incomplete, an unknown verb or meant for another plug-in
    kStop,
    kUnload,
  };

  CCmdStopProtocolHandler() = default;
  ~CCmdStopProtocolHandler() override = default;

  // Runs the command on the dispatching thread. "stop" does not return: after a 3 s pause the
  // process ends with exit status 0.
  void Handle(const std::string& data) override;

  // Read and cleared by the connection monitor's timer thread while the dispatching thread may
  // set it.
  bool IsUnloadRequested() const { return unloadRequested_; }
  void ClearUnloadRequest() { unloadRequested_ = false; }

  // The verb `data` carries for this process; an empty text is kIgnore. Handle acts on exactly
  // this answer.
  static Verb ParseCommand(const std::string& data);

 private:
  CCmdStopProtocolHandler(const CCmdStopProtocolHandler&) = delete;
  CCmdStopProtocolHandler& operator=(const CCmdStopProtocolHandler&) = delete;

  std::atomic<bool> unloadRequested_{false};  // an "unload" not yet carried out
};
