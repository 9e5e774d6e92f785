// tbxUtil: the crash hook.
#pragma once

#include <cstdint>
#include <string>

#include "Export.h"

namespace tbx {

// What the crash hook asks of its owner. No destructor slot: the owner outlives the hook.
class IAppError {
 public:
  // The path the dump is written to.
  virtual std::string GetDumpFilePath() = 0;
  // Called on the crashing thread once the dump has been written. `dumpResult` is 0 when the
  // dump was written; `reserved` carries nothing.
  virtual void OnError(const std::string& dumpPath, int64_t exceptionCode, int32_t dumpResult,
                       int32_t reserved) = 0;

 protected:
  ~IAppError() {}
};

// Installs the hook on construction: a fatal signal (segmentation fault, bus error, illegal
// instruction, floating-point error, abort) is caught on an alternate stack, a text dump
// (signal, address, back trace, memory map) is written to GetDumpFilePath(), then OnError runs.
// Destruction removes the hook.
class TBXUTIL_API CAppError {
 public:
  explicit CAppError(IAppError* owner);
  ~CAppError();

  // The calling thread's back trace, one frame per line.
  static std::string GetBackTrace();
  // Writes a dump of the running process to `path`; 0 on success. `code` is recorded in it.
  static int32_t CreateErrorDump(const std::string& path, int64_t code);

 private:
  CAppError(const CAppError&) = delete;
  CAppError& operator=(const CAppError&) = delete;
};

}  // namespace tbx
