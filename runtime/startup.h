// The frame of the process: start-up runs every library's initialisation in its fixed
// order and hands over to the batch driver; shutdown releases what each library still
// holds and ends the process with exit code 0.
#ifndef VANTOREL_RUNTIME_STARTUP_H
#define VANTOREL_RUNTIME_STARTUP_H

#include <windows.h>

extern HINSTANCE runtime_instance;

// Entered from the C runtime's entry once the C library is ready; never returns.
[[noreturn]] void runtime_start(void);
// Never returns; the exit code is always 0.
[[noreturn]] void runtime_end(void);

#endif
