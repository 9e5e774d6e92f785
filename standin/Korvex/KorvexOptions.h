// Korvex.exe: the command line of the simulated agent.
#pragma once

#include <string>

struct KorvexOptions {
  bool altName = false;                      // listen under the fallback name
  std::string initInfo = "{\"version\":0}";  // INIT text for new connections
  std::string transcript;                    // file that also receives every event line
  std::string ipcDir;                        // socket directory; "" for the library's default
  bool readStdin = true;                     // take commands from standard input
  bool exitOnEof = false;                    // end of standard input ends the agent
  bool help = false;                         // print the usage and end
};

class CKorvexOptions {
 public:
  // Parses argv[1..]; false with a message in `error` for an unknown or incomplete option.
  static bool Parse(int argc, const char* const* argv, KorvexOptions* options, std::string* error);
  static const char* Usage();
};
