#include "AltSignalStack.h"

#include <signal.h>
#include <sys/mman.h>

#include <cstddef>

namespace tbx {
namespace {

constexpr size_t kStackBytes = 256 * 1024;  // room for the dump writer and OnError's logging

// Owns the calling thread's alternate stack; switches it off before unmapping it.
class ThreadStack {
 public:
  ThreadStack() {
    stack_t current = {};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
      return;  // the thread already has one (installed by someone else)
    }
    void* memory = ::mmap(nullptr, kStackBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
      return;
    }
    stack_t wanted = {};
    wanted.ss_sp = memory;
    wanted.ss_size = kStackBytes;
    if (::sigaltstack(&wanted, nullptr) != 0) {
      ::munmap(memory, kStackBytes);
      return;
    }
    memory_ = memory;
  }
  ~ThreadStack() {
    if (memory_ == nullptr) {
      return;
    }
    stack_t off = {};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
    ::munmap(memory_, kStackBytes);
  }

 private:
  ThreadStack(const ThreadStack&) = delete;
  ThreadStack& operator=(const ThreadStack&) = delete;
  void* memory_ = nullptr;  // the mapped stack of kStackBytes, or null when not ours
};

}  // namespace

void AltSignalStack::EnsureForThisThread() {
  thread_local ThreadStack stack;
  (void)stack;
}

}  // namespace tbx
