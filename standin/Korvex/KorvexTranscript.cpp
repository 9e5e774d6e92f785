#include "KorvexTranscript.h"

#include "KorvexSystem.h"

#include <chrono>
#include <ctime>

CKorvexTranscript::~CKorvexTranscript() {
  if (file_ != nullptr) {
    std::fclose(file_);
  }
}

bool CKorvexTranscript::OpenFile(const std::string& path) {
  FILE* file = korvex::sys::OpenForAppend(path);
  if (file == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) {
    std::fclose(file_);
  }
  file_ = file;
  return true;
}

void CKorvexTranscript::Write(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (file_ != nullptr) {
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
}

std::string CKorvexTranscript::Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::tm utc = korvex::sys::UtcTime(seconds);
  char text[40];
  const size_t n = std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof(text) - n, ".%03dZ", static_cast<int>(millis));
  return text;
}
