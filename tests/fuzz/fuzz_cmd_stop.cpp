// Any command data through the stop/unload handler. A text the handler would take as "stop"
// is not handed to Handle, since that ends the process; ParseCommand is what Handle acts on, so
// every other text runs the real Handle, and a text that ended the process anyway would be
// reported by the fuzzer as an exit. The unload flag must follow the parsed verb exactly, and a
// text must read as its part before the first NUL byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "IpcClient/CmdStopProtocolHandler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static CCmdStopProtocolHandler handler;
  const std::string data(reinterpret_cast<const char*>(bytes), size);
  const CCmdStopProtocolHandler::Verb verb = CCmdStopProtocolHandler::ParseCommand(data);
  const size_t nul = data.find('\0');
  if (nul != std::string::npos &&
      CCmdStopProtocolHandler::ParseCommand(data.substr(0, nul)) != verb) {
    std::abort();
  }
  if (verb == CCmdStopProtocolHandler::Verb::kStop) {
    return 0;
  }
  handler.Handle(data);
  if (handler.IsUnloadRequested() != (verb == CCmdStopProtocolHandler::Verb::kUnload)) {
    std::abort();
  }
  handler.ClearUnloadRequest();
  return 0;
}
