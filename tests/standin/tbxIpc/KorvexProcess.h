// Korvex.exe run as a child process with a pipe on its standard input and its standard output
// in a file, whose JSON lines are read back as events. Starting, stopping and waiting are each
// system's own (posix/, windows/KorvexProcess.cpp).
#pragma once

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ipctest {

class KorvexProcess {
 public:
  // Starts <bin dir>/Korvex.exe with `options`, its output going to the file `output`.
  KorvexProcess(const std::string& output, const std::vector<std::string>& options);
  // Ends the process when it still runs.
  ~KorvexProcess();

  KorvexProcess(const KorvexProcess&) = delete;
  KorvexProcess& operator=(const KorvexProcess&) = delete;

  // Writes `line` and a line break to its standard input.
  bool Command(const std::string& line);
  void CloseStdin();

  // Whether RequestStop can reach a child here: on Windows only from a process with a console
  // (a console control event travels through the console; Wine without a terminal gives none).
  static bool CanRequestStop();
  // Asks it to stop as the system asks a console program: SIGTERM on POSIX, a Ctrl+Break
  // event on Windows. False when it could not be asked.
  bool RequestStop();
  // Waits for the process to end; its exit status, or -1.
  int WaitForExit();
  bool Running();

  // Waits for an output line after those seen so far whose "event" is `event` (and, when
  // given, whose "kind" is `kind`); every output line must be a JSON object.
  bool WaitForEvent(const std::string& event, Json::Value* found, const std::string& kind = "");
  // The whole lines written so far.
  std::vector<std::string> Lines() const;

 private:
  std::string output_;     // the file behind its standard output
  intptr_t process_ = -1;  // the pid on POSIX, the process handle on Windows
  intptr_t stdin_ = -1;    // write end of the input pipe: a descriptor, or a handle
  bool exited_ = false;    // WaitForExit saw it end
  size_t seen_ = 0;        // output lines WaitForEvent has looked at
};

}  // namespace ipctest
