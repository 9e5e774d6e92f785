// The POSIX threads library for Windows must be attached to the process and to each thread
// before its semaphores are used; elsewhere these succeed and do nothing.
#pragma once

#include "Export.h"

extern "C" {
WIN32STANDIN_API int pthread_win32_process_attach_np();
WIN32STANDIN_API int pthread_win32_thread_attach_np();
}
