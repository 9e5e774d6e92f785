// The system the installed programs run on: Linux itself, or Windows under Wine when
// KORVEX_E2E_TARGET=windows (the driver stays a Linux program either way). Cases ask here what
// differs between the two and nowhere else.
#pragma once

#include <string>

#include "e2e/ChildProcess.h"

namespace e2e {

class TargetSystem {
 public:
  static bool IsWindows();

  // The installation the cases copy: $KORVEX_BIN_DIR on Linux; on Windows the one of the Windows
  // build $KORVEX_WINDOWS_BUILD names (the PE32 or the PE32+ tree, whichever make test-windows
  // runs; build/windows when unset).
  static std::string InstalledBinDir();

  // Makes `options` (argv[0] an installed program, argv paths as this machine names them) start
  // the program on the target. On Windows that is scripts/wine-run running the exit-code
  // launcher, which starts the program in the run's Wine prefix, writes its Windows process id
  // to `pidFile` and ends with the program's real exit code.
  static void Adapt(ChildOptions* options, const std::string& pidFile);

  // An absolute path of this machine as the programs name it: itself on Linux, "Z:\tmp\x" for
  // "/tmp/x" on Windows.
  static std::string SeenPath(const std::string& path);

  // A text (UTF-8, as this machine writes it) as the programs write it in their logs: itself on
  // Linux; on Windows in the ANSI code page, 1252 under Wine with a C or UTF-8 locale (characters
  // it lacks become "?").
  static std::string ProgramText(const std::string& text);

  // The installed file of the module `name` ("echo", "fault") relative to the bin directory,
  // as the module configuration lists it.
  static std::string ModuleFile(const std::string& name);
  // Only its file name, as the monitor's log names it.
  static std::string ModuleFileName(const std::string& name);

  // The Linux process id of the running program whose executable is `path`: the child itself
  // on Linux, the Wine process of that program (not the launcher's) on Windows; -1 when none runs.
  static long LinuxPidOfProgram(ChildProcess& child, const std::string& path);
};

}  // namespace e2e
