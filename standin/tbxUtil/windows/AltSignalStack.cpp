// Windows has no signal stacks. The nearest thing: each thread keeps a reserve of stack for the
// exception filter, so a stack overflow can still be reported (the filter then does its work
// on a fresh thread).
#include "AltSignalStack.h"

#include <windows.h>

namespace tbx {

void AltSignalStack::EnsureForThisThread() {
  ULONG reserve = 64 * 1024;
  ::SetThreadStackGuarantee(&reserve);
}

}  // namespace tbx
