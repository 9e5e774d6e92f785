// winpthreads attaches itself to the process and to each thread as they start; the explicit
// calls other POSIX threads libraries for Windows need succeed (TRUE) and do nothing.
#include "win32/PthreadAttach.h"

extern "C" {

int pthread_win32_process_attach_np() {
  return 1;
}

int pthread_win32_thread_attach_np() {
  return 1;
}

}  // extern "C"
