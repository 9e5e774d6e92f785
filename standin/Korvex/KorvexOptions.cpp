#include "KorvexOptions.h"

#include <cstring>

bool CKorvexOptions::Parse(int argc, const char* const* argv, KorvexOptions* options,
                           std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--alt-name") {
      options->altName = true;
    } else if (arg == "--no-stdin") {
      options->readStdin = false;
    } else if (arg == "--exit-on-eof") {
      options->exitOnEof = true;
    } else if ((arg == "--init-info" || arg == "--transcript" || arg == "--ipc-dir") && hasValue) {
      const std::string value = argv[++i];
      if (arg == "--init-info") {
        options->initInfo = value;
      } else if (arg == "--transcript") {
        options->transcript = value;
      } else {
        options->ipcDir = value;
      }
    } else if (arg == "--init-info" || arg == "--transcript" || arg == "--ipc-dir") {
      *error = arg + " needs a value";
      return false;
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

const char* CKorvexOptions::Usage() {
  return R"(Usage: Korvex.exe [options]

The simulated main agent. Listens for the monitor on the local IPC name
"Valko-<Guid(3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13)>" (over Unix-domain sockets, or
loopback TCP when TBX_IPC_TRANSPORT=tcp), greets every client with the init info and
writes every event as one JSON line to standard output:
  {"time":...,"event":"listening","name":...,"path":...,"transport":"unix"|"tcp",
   "init_info":...}
  {"time":...,"event":"connected","client":N}
  {"time":...,"event":"frame","client":N,"kind":"REG"|"DATA","text":...}
  {"time":...,"event":"frame","client":N,"kind":"DATA_EX","type":...,"prio":P,
   "ipc_msg":1,"obj_id":...,"text":...}   (header fields as far as present)
  {"time":...,"event":"disconnected","client":N,"reason":...}
  {"time":...,"event":"sent"|"dropped"|"init_info"|"error"|"quit",...}

Options:
  --alt-name          listen under "Valko_Guid_3F7B19C4-52E0-4D8A-B6C1-90A4E27D5B13"
  --init-info TEXT    init info for new connections (default {"version":0})
  --transcript FILE   append every event line to FILE as well
  --ipc-dir DIR       endpoint directory (default: $TBX_IPC_DIR, else "ipc" beside tbxIpc)
  --no-stdin          read no commands; run until SIGINT or SIGTERM
  --exit-on-eof       end when standard input ends (otherwise the agent keeps running
                      after end of input until "quit", SIGINT or SIGTERM)
  --help              this text

Commands, one per line on standard input:
  stop                send {"type":"T_MSG_CHECK","data":{"check":"stop","cmd_idx":"<n>",
                      "view_type":"KorvexMonitor","view_object":"","view_param":""}}
                      to every client (<n> counts the stop and unload commands from 1)
  unload              the same with "check":"unload"
  send TYPE DATA      send {"type":TYPE,"data":DATA} to every client; DATA is embedded
                      as JSON when it is one JSON object, otherwise as a JSON string
  version N           init info {"version":N} for connections from now on
  drop                close every client connection
  quit                stop listening and end (exit status 0)
Blank lines and lines starting with '#' are ignored.
)";
}
