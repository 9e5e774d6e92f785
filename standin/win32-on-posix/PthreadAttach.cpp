// Neither Linux threads nor winpthreads need attaching to the process or to a thread: both do
// it themselves as threads start. The explicit calls that other POSIX threads libraries for
// Windows need succeed (TRUE) and do nothing, so portable code can make them.
#include "win32/PthreadAttach.h"

extern "C" {

int pthread_win32_process_attach_np() {
  return 1;
}

int pthread_win32_thread_attach_np() {
  return 1;
}

}  // extern "C"
