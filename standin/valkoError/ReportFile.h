// The report file <application dir>/report/reports.jsonl, shared by every reporter of the
// process. Each record is written with one append under one lock, so concurrent reporters never
// interleave and a reader sees whole lines only.
#pragma once

#include <string>

namespace valko::standin {

class CReportFile {
 public:
  // <application dir>/report, created when missing; "" when it cannot be made.
  static std::string ReportDir();
  // Appends `line` (one whole record, ending in "\n"); false when the file cannot be written.
  static bool Append(const std::string& line);

  CReportFile() = delete;
};

}  // namespace valko::standin
