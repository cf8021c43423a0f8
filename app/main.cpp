// The C runtime's entry for a GUI program: the C library is initialised by the time
// WinMain runs, and runtime_start takes over from there.
#include <windows.h>

#include "runtime/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    runtime_start();
}
