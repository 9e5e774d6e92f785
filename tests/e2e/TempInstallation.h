// A fresh agent installation for one test: the built bin directory copied to
// <tmp>/korvex/valko_client/bin, so the agent root (bin/../..) and the IPC socket directory
// (bin/ipc) belong to this test alone. The tree is removed on destruction unless
// KORVEX_E2E_KEEP is set.
#pragma once

#include <string>
#include <vector>

namespace e2e {

class TempInstallation {
 public:
  // Copies TargetSystem::InstalledBinDir(); check ok() (and error()) before use. Run-time leftovers
  // of the source (sockets, logs, records, reports, pid files) are not copied. A `folder` name
  // puts Root() into a folder of that name inside the fresh directory.
  explicit TempInstallation(const std::string& folder = "");
  ~TempInstallation();

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  const std::string& Root() const { return root_; }      // the installation's directory
  const std::string& BinDir() const { return binDir_; }  // the application directory D
  // D + "/" + relative.
  std::string Path(const std::string& relative) const;

  // Whole file content, "" when missing.
  std::string ReadFile(const std::string& relative) const;
  // Replaces the file (never writes through to the copied source); false on failure.
  bool WriteFile(const std::string& relative, const std::string& content) const;
  bool RemoveFile(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

  // Every file of the log directory "korvex_monitor_log", oldest first, concatenated.
  std::string ReadLog() const;
  // The lines of "MonitorError.data" as written ("<date> <time> [<pid>] <message>").
  std::vector<std::string> ErrorRecordLines() const;
  // Only the messages of those lines.
  std::vector<std::string> ErrorRecordMessages() const;
  // The lines of "report/reports.jsonl".
  std::vector<std::string> ReportLines() const;
  // The content of "monitor_pid.txt".
  std::string PidFileText() const;

 private:
  TempInstallation(const TempInstallation&) = delete;
  TempInstallation& operator=(const TempInstallation&) = delete;

  std::string made_;    // mkdtemp result, removed on destruction; "" when creation failed
  std::string root_;    // made_, or the folder inside it
  std::string binDir_;  // root_ + "/korvex/valko_client/bin"
  std::string error_;   // why the installation is unusable, "" when ok
};

// Splits a text into lines without their line ends; a final line end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace e2e
