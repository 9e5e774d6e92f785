#include "valko/ReportError.h"

#include <fstream>
#include <sstream>

#include "JsonLine.h"
#include "ReportFile.h"
#include "tbx/FileUtil.h"
#include "tbx/LogMessage.h"
#include "tbxUtil/StandinSupport.h"

using valko::standin::CJsonLine;
using valko::standin::CReportFile;

namespace {

// The last `bytes` bytes of the file at `path` (all of it when shorter); false when it cannot
// be read.
bool ReadTail(const std::string& path, uint32_t bytes, std::string& tail) {
  tail.clear();
  if (path.empty()) {
    return false;
  }
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    return false;
  }
  std::streamoff size = in.tellg();
  if (size < 0) {
    return false;
  }
  std::streamoff start = size > static_cast<std::streamoff>(bytes) ? size - bytes : 0;
  in.seekg(start);
  tail.resize(static_cast<size_t>(size - start));
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  tail.resize(static_cast<size_t>(in.gcount()));
  return true;
}

bool ReadWhole(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  content = buffer.str();
  return !in.bad();
}

std::string FileName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool CReportError::SendErrInfo(const std::string& text, _enErrNo code) {
  return CReportFile::Append(CJsonLine()
                                 .AddText("kind", "err_info")
                                 .AddText("text", text)
                                 .AddInteger("code", code)
                                 .Finish());
}

bool CReportError::SendKillSelfInfo(const std::string& text, _enKillSelf reason) {
  return CReportFile::Append(CJsonLine()
                                 .AddText("kind", "kill_self")
                                 .AddText("text", text)
                                 .AddInteger("reason", reason)
                                 .Finish());
}

bool CReportError::SendKillSelfInfo(const std::string& text, _enKillSelf reason,
                                    const std::string& programName, const std::string& version,
                                    const std::string& stack) {
  return CReportFile::Append(CJsonLine()
                                 .AddText("kind", "kill_self")
                                 .AddText("text", text)
                                 .AddInteger("reason", reason)
                                 .AddText("program", programName)
                                 .AddText("version", version)
                                 .AddText("stack", stack)
                                 .Finish());
}

bool CReportError::SendLastLog(uint32_t bytes) {
  // What is still buffered belongs to the last lines, the ones a report is usually about.
  tbx::standin::FlushLog();
  std::string path = tbx::standin::LogFilePath();
  std::string tail;
  bool read = ReadTail(path, bytes, tail);
  // The request is recorded even when the log cannot be read, so the report shows it was made.
  bool written = CReportFile::Append(CJsonLine()
                                         .AddText("kind", "last_log")
                                         .AddInteger("bytes", bytes)
                                         .AddText("file", path)
                                         .AddText("text", tail)
                                         .Finish());
  return read && written;
}

bool CReportError::SendCrashInfo(const std::string& information, const std::string& backTrace,
                                 bool withMemoryMap) {
  return CReportFile::Append(CJsonLine()
                                 .AddText("kind", "crash_info")
                                 .AddText("information", information)
                                 .AddText("back_trace", backTrace)
                                 .AddBool("flag", withMemoryMap)
                                 .Finish());
}

bool CReportError::SendDumpFile(const std::string& path, std::string extra) {
  std::string name = FileName(path);
  std::string dir = CReportFile::ReportDir();
  std::string content;
  bool copied = !name.empty() && !dir.empty() && ReadWhole(path, content) &&
                tbx::CFileUtil::WriteNewFile(dir + "/" + name, content, false);
  bool written = CReportFile::Append(CJsonLine()
                                         .AddText("kind", "dump_file")
                                         .AddText("file", copied ? name : "")
                                         .AddText("source", path)
                                         .AddText("extra", extra)
                                         .AddBool("copied", copied)
                                         .Finish());
  return copied && written;
}
