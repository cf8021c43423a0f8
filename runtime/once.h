// One-time initialisation for shared runtime state, safe for several threads.
#ifndef VANTOREL_RUNTIME_ONCE_H
#define VANTOREL_RUNTIME_ONCE_H

#include "runtime/platform.h"

// Zero before the first call. With the system's one-time initialisation it is the
// system's INIT_ONCE record; otherwise 0 (not run), 1 (running) or 2 (done).
typedef volatile LONG OnceFlag;
#ifdef _WIN32
static_assert(sizeof(OnceFlag) == sizeof(INIT_ONCE), "OnceFlag holds an INIT_ONCE");
#endif

enum { ONCE_NOT_RUN = 0, ONCE_RUNNING = 1, ONCE_DONE = 2 };

typedef void (*OnceRoutine)(void);

// Runs routine exactly once for flag, through the system when it offers the call.
// Returns once the routine has completed, in this call or another.
void run_once(OnceFlag* flag, OnceRoutine routine);

// The fallback without the system's help: a locked compare-and-exchange, and a spin on
// Sleep(0) while another caller runs the routine.
void run_once_spin(OnceFlag* flag, OnceRoutine routine);

#endif
