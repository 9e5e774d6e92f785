// Helpers shared by the tests of the stand-in agent service libraries: a temporary application
// directory, small file helpers, the injected-failure list and waiting for another thread.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tbx/LogMessage.h"
#include "tbxUtil/TbxTestSeams.h"

namespace standin_test {

// A fresh directory that is the application directory while the object lives; removed with
// its content afterwards.
class TempAppDir {
 public:
  TempAppDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "standin-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
    tbx::testing::OverrideApplicationDir(path_);
  }
  ~TempAppDir() {
    tbx::testing::OverrideApplicationDir("");
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  TempAppDir(const TempAppDir&) = delete;
  TempAppDir& operator=(const TempAppDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;  // absolute; "" when it could not be made
};

// Creates missing parent directories and replaces the file.
inline bool WriteFile(const std::string& path, const std::string& content) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

// The whole file; "" when it is missing.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Sets TBX_STANDIN_FAIL while it lives; unset afterwards.
class ScopedFailList {
 public:
  explicit ScopedFailList(const std::string& list) { setenv("TBX_STANDIN_FAIL", list.c_str(), 1); }
  ~ScopedFailList() { unsetenv("TBX_STANDIN_FAIL"); }
  ScopedFailList(const ScopedFailList&) = delete;
  ScopedFailList& operator=(const ScopedFailList&) = delete;
};

// Polls `done` until it holds or `limit` passes; its last answer. The limit is a safety net
// against a hang, not a measured expectation.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return done();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Opens the process log once per process, in a directory of its own that outlives the tests'
// temporary application directories and is removed when the process ends. Call it before a
// TempAppDir exists: it moves the application directory while it opens the log.
inline void OpenProcessLog() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "standin-log-XXXXXX").string();
    std::string made = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    tbx::testing::OverrideApplicationDir(made);
    tbx::CLogMessage::SetLogDirName("log");
    tbx::CLogMessage::GetInstance();
    tbx::testing::OverrideApplicationDir("");
    static std::string removeAtExit;
    removeAtExit = made;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removeAtExit, ignored);
    });
    return made;
  }();
}

// The process log so far.
inline std::string ReadProcessLog() {
  tbx::CLogMessage::Flush();
  return ReadFile(tbx::CLogMessage::GetLogFilePath());
}

}  // namespace standin_test
