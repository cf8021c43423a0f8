// run_once: the system's InitOnceExecuteOnce where Kernel32 exports it (looked up at run
// time, so the program still starts where it is missing), else a spin on a flag word.
#include "runtime/once.h"

#include <string.h>

typedef BOOL(WINAPI* OnceCallback)(void* once, void* parameter, void** context);
typedef BOOL(WINAPI* InitOnceExecuteOnceCall)(void* once, OnceCallback callback,
                                              void* parameter, void** context);

static BOOL WINAPI once_callback(void*, void* parameter, void** context) {
    OnceRoutine routine;
    memcpy(&routine, &parameter, sizeof(routine));
    routine();
    *context = (void*)4;
    return TRUE;
}

void run_once(OnceFlag* flag, OnceRoutine routine) {
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    if (kernel) {
        FARPROC entry = GetProcAddress(kernel, "InitOnceExecuteOnce");
        if (entry) {
            InitOnceExecuteOnceCall execute_once;
            memcpy(&execute_once, &entry, sizeof(execute_once));
            void* parameter;
            memcpy(&parameter, &routine, sizeof(parameter));
            void* context = 0;
            execute_once((void*)flag, once_callback, parameter, &context);
            FreeLibrary(kernel);
            return;
        }
        FreeLibrary(kernel);
    }
    run_once_spin(flag, routine);
}

void run_once_spin(OnceFlag* flag, OnceRoutine routine) {
    LONG seen = InterlockedCompareExchange(flag, ONCE_RUNNING, ONCE_NOT_RUN);
    if (seen == ONCE_NOT_RUN) {
        routine();
        InterlockedExchange(flag, ONCE_DONE);
        return;
    }
    while (InterlockedCompareExchange(flag, ONCE_DONE, ONCE_DONE) != ONCE_DONE) Sleep(0);
}
