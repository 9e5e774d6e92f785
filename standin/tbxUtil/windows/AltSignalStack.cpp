// Windows has no signal stacks. The nearest thing: each thread keeps a reserve of stack for the
// crash hook, so a stack overflow can still be reported (the hook then does its work on a fresh
// thread). The system raises the overflow once the stack grows into the reserve, which
// SetThreadStackGuarantee sizes. That needs a guard page above the reserve: the system keeps one
// just below the committed part of a stack that grows on demand, but where the whole stack is
// committed when the thread starts (Wine does this) its only guard page is the lowest usable one,
// and an overflow found there leaves too little stack even to hand the exception to the hook
// (64-bit Wine then ends the thread silently). Such a stack gets a guard page above its reserve.
#include "AltSignalStack.h"

#include <windows.h>

namespace tbx {
namespace {

constexpr ULONG kReserveBytes = 64 * 1024;

void GuardAboveTheReserve() {
  SYSTEM_INFO system = {};
  ::GetSystemInfo(&system);
  const uintptr_t page = system.dwPageSize;
  MEMORY_BASIC_INFORMATION stack = {};
  volatile char here = 0;
  if (::VirtualQuery(const_cast<char*>(&here), &stack, sizeof(stack)) == 0) {
    return;
  }
  // Above the lowest page (never accessible) and the reserve, below the frames in use now.
  const uintptr_t bottom = reinterpret_cast<uintptr_t>(stack.AllocationBase);
  const uintptr_t guard = bottom + page + ((kReserveBytes + page - 1) / page) * page;
  if (guard + 2 * page > reinterpret_cast<uintptr_t>(&here)) {
    return;  // a stack too small for a reserve
  }
  MEMORY_BASIC_INFORMATION at = {};
  if (::VirtualQuery(reinterpret_cast<void*>(guard), &at, sizeof(at)) == 0 ||
      at.AllocationBase != stack.AllocationBase || at.State != MEM_COMMIT ||
      (at.Protect & PAGE_GUARD) != 0) {
    return;  // grows on demand (the system's guard page moves down ahead of it), or guarded
  }
  DWORD previous = 0;
  ::VirtualProtect(reinterpret_cast<void*>(guard), page, PAGE_READWRITE | PAGE_GUARD, &previous);
}

}  // namespace

void AltSignalStack::EnsureForThisThread() {
  ULONG reserve = kReserveBytes;
  ::SetThreadStackGuarantee(&reserve);
  GuardAboveTheReserve();
}

}  // namespace tbx
