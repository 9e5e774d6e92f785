// Linux threads need no attaching; the calls succeed (TRUE) so portable code can make them.
#include "win32/PthreadAttach.h"

extern "C" {

int pthread_win32_process_attach_np() {
  return 1;
}

int pthread_win32_thread_attach_np() {
  return 1;
}

}  // extern "C"
