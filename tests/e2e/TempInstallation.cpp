#include "e2e/TempInstallation.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "e2e/TargetSystem.h"

namespace fs = std::filesystem;

namespace e2e {
namespace {

// What a run leaves in an application directory; a copy must start without it.
const std::set<std::string>& RunLeftovers() {
  static const std::set<std::string> names = {
      "ipc",       "korvex_monitor_log", "report", "MonitorError.data", "DefaultError.data",
      "Error.dat", "monitor_pid.txt"};
  return names;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Dumps and run markers ("<program>.run") are left by runs, too.
bool IsRunLeftover(const std::string& name) {
  return RunLeftovers().count(name) != 0 || EndsWith(name, ".dmp") || EndsWith(name, ".run");
}

bool CopyTree(const fs::path& from, const fs::path& to, bool top, std::string* error) {
  std::error_code ec;
  fs::create_directories(to, ec);
  if (ec) {
    *error = "cannot create " + to.string() + ": " + ec.message();
    return false;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
    const std::string name = entry.path().filename().string();
    if (top && IsRunLeftover(name)) {
      continue;
    }
    const fs::path target = to / name;
    if (entry.is_symlink(ec)) {
      fs::copy_symlink(entry.path(), target, ec);
    } else if (entry.is_directory(ec)) {
      if (!CopyTree(entry.path(), target, false, error)) {
        return false;
      }
    } else if (entry.is_regular_file(ec)) {
      fs::copy_file(entry.path(), target, ec);
    }  // sockets, fifos and the like are run-time objects: skipped
    if (ec) {
      *error = "cannot copy " + entry.path().string() + ": " + ec.message();
      return false;
    }
  }
  if (ec) {
    *error = "cannot list " + from.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TempInstallation::TempInstallation(const std::string& folder) {
  const std::string source = TargetSystem::InstalledBinDir();
  if (source.empty()) {
    error_ = "KORVEX_BIN_DIR is not set (ctest sets it)";
    return;
  }
  if (!fs::exists(fs::path(source) / "KorvexMonitor.exe")) {
    error_ = "no KorvexMonitor.exe in " + source;
    return;
  }
  std::string pattern = (fs::temp_directory_path() / "korvex_e2e_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error_ = "mkdtemp failed for " + pattern;
    return;
  }
  made_ = pattern;
  root_ = folder.empty() ? made_ : made_ + "/" + folder;
  binDir_ = root_ + "/korvex/valko_client/bin";
  CopyTree(source, binDir_, true, &error_);
}

TempInstallation::~TempInstallation() {
  const char* keep = std::getenv("KORVEX_E2E_KEEP");
  if (made_.empty() || (keep != nullptr && *keep != '\0' && std::string(keep) != "0")) {
    return;
  }
  std::error_code ec;
  fs::remove_all(made_, ec);
}

std::string TempInstallation::Path(const std::string& relative) const {
  return binDir_ + "/" + relative;
}

std::string TempInstallation::ReadFile(const std::string& relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TempInstallation::WriteFile(const std::string& relative, const std::string& content) const {
  const fs::path path = Path(relative);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  fs::remove(path, ec);  // a hard link into the source must not be written through
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  return static_cast<bool>(out);
}

bool TempInstallation::RemoveFile(const std::string& relative) const {
  std::error_code ec;
  return fs::remove(Path(relative), ec);
}

bool TempInstallation::Exists(const std::string& relative) const {
  std::error_code ec;
  return fs::exists(Path(relative), ec);
}

std::string TempInstallation::ReadLog() const {
  std::error_code ec;
  std::vector<fs::directory_entry> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(Path("korvex_monitor_log"), ec)) {
    if (entry.is_regular_file(ec)) {
      files.push_back(entry);
    }
  }
  // Rotated files are older than the one being written.
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    std::error_code ignored;
    return fs::last_write_time(a.path(), ignored) < fs::last_write_time(b.path(), ignored);
  });
  std::string all;
  for (const fs::directory_entry& entry : files) {
    all += ReadFile("korvex_monitor_log/" + entry.path().filename().string());
  }
  return all;
}

std::vector<std::string> TempInstallation::ErrorRecordLines() const {
  return SplitLines(ReadFile("MonitorError.data"));
}

std::vector<std::string> TempInstallation::ErrorRecordMessages() const {
  std::vector<std::string> messages;
  for (const std::string& line : ErrorRecordLines()) {
    // "YYYY-MM-DD hh:mm:ss [pid] message": the message follows the first "] ".
    std::string::size_type bracket = line.find("] ");
    messages.push_back(bracket == std::string::npos ? line : line.substr(bracket + 2));
  }
  return messages;
}

std::vector<std::string> TempInstallation::ReportLines() const {
  return SplitLines(ReadFile("report/reports.jsonl"));
}

std::string TempInstallation::PidFileText() const {
  return ReadFile("monitor_pid.txt");
}

}  // namespace e2e
