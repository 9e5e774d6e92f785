#include "e2e/TargetSystem.h"

#include <iconv.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace e2e {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string WindowsBuild() {
  const std::string build = Environment("KORVEX_WINDOWS_BUILD");
  return build.empty() ? KORVEX_E2E_WINDOWS_BUILD_DEFAULT : build;
}

}  // namespace

bool TargetSystem::IsWindows() {
  return Environment("KORVEX_E2E_TARGET") == "windows";
}

std::string TargetSystem::InstalledBinDir() {
  return IsWindows() ? WindowsBuild() + "/install/korvex/valko_client/bin"
                     : Environment("KORVEX_BIN_DIR");
}

void TargetSystem::Adapt(ChildOptions* options, const std::string& pidFile) {
  if (!IsWindows() || options->argv.empty()) {
    return;
  }
  const std::string build = WindowsBuild();
  std::vector<std::string> argv = {"/bin/bash", KORVEX_E2E_WINE_RUN,
                                   build + "/tests/ExitCodeLauncher.exe", SeenPath(pidFile),
                                   SeenPath(options->argv[0])};
  argv.insert(argv.end(), options->argv.begin() + 1, options->argv.end());
  options->argv = std::move(argv);
  options->programPidFile = pidFile;
  // A prefix of the suite's own: the unit suites' processes running beside it in the build's
  // prefix would show in the process lists the directory check reads.
  options->env.emplace_back("KORVEX_WINDOWS_BUILD", build);
  options->env.emplace_back("WINEPREFIX", build + "/wineprefix-e2e");
  options->env.emplace_back("TBX_IPC_TRANSPORT", "tcp");
}

std::string TargetSystem::SeenPath(const std::string& path) {
  if (!IsWindows() || path.empty() || path[0] != '/') {
    return path;
  }
  std::string seen = "Z:" + path;
  for (char& c : seen) {
    c = c == '/' ? '\\' : c;
  }
  return seen;
}

std::string TargetSystem::ProgramText(const std::string& text) {
  if (!IsWindows()) {
    return text;
  }
  iconv_t convert = iconv_open("CP1252//TRANSLIT", "UTF-8");
  if (convert == reinterpret_cast<iconv_t>(-1)) {
    return text;
  }
  std::string in = text;
  std::string out(text.size(), '\0');  // never longer: one byte per character
  char* from = in.data();
  char* to = out.data();
  size_t fromLeft = in.size();
  size_t toLeft = out.size();
  const size_t result = iconv(convert, &from, &fromLeft, &to, &toLeft);
  iconv_close(convert);
  if (result == static_cast<size_t>(-1)) {
    return text;
  }
  out.resize(out.size() - toLeft);
  return out;
}

std::string TargetSystem::ModuleFile(const std::string& name) {
  return "modules/" + ModuleFileName(name);
}

std::string TargetSystem::ModuleFileName(const std::string& name) {
  if (!IsWindows()) {
    return "lib" + name + ".so";
  }
  // The Windows build names the sample module as a library and the test module as a plain DLL.
  return name == "echo" ? "libecho.dll" : name + ".dll";
}

long TargetSystem::LinuxPidOfProgram(ChildProcess& child, const std::string& path) {
  if (!IsWindows()) {
    return child.IsRunning() ? child.pid() : -1;
  }
  // Wine shows each process's command line; the launcher starts the program by its Z: path.
  const std::string seen = SeenPath(path);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmdline.c_str() == seen) {
      return std::stol(name);
    }
  }
  return -1;
}

}  // namespace e2e
