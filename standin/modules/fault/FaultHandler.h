// The handler of the test module "fault": it makes the process fault from inside, on the
// dispatching thread, the way a command asks, so that the crash path runs as a real crash would
// run it. Loaded only when a test lists the module in conf/monitor_module_config.
#pragma once

#include <string>

#include "valko/IProtocolHandler.h"

namespace fault {

class CFaultHandler : public IProtocolHandler {
 public:
  static constexpr const char* kRequestType = "T_MSG_TEST_FAULT";

  // `data` {"fault":"access_violation"} writes through a null pointer, "divide_by_zero" divides
  // an integer by zero, "abort" aborts, "stack_overflow" recurses until the stack is gone. Any
  // other data is ignored.
  void Handle(const std::string& data) override;
};

}  // namespace fault
