// Korvex.exe: the record of everything the agent saw, one JSON line per event, written to
// standard output and, when asked for, to a transcript file.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class CKorvexTranscript {
 public:
  CKorvexTranscript() = default;
  ~CKorvexTranscript();  // closes the file

  CKorvexTranscript(const CKorvexTranscript&) = delete;
  CKorvexTranscript& operator=(const CKorvexTranscript&) = delete;

  // Appends to `path` from now on; false when it cannot be opened.
  bool OpenFile(const std::string& path);

  // Writes `line` and a line break to both places and flushes them, so a reader following
  // the output sees each event as it happens. Safe from any thread; lines never mix.
  void Write(const std::string& line);

  // The current UTC time as 2024-05-01T12:00:00.123Z.
  static std::string Now();

 private:
  std::mutex mutex_;      // one line at a time
  FILE* file_ = nullptr;  // the transcript file, null when none
};
