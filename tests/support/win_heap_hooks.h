// Windows tests only: the heap calls of this program's own code (the runtime's heaps,
// and any other heap it calls on) counted and made to fail. HeapAlloc, HeapReAlloc and
// HeapFree are called through the program's import table, which the linker's --wrap
// cannot reach; installing points those entries at counting hooks. Nothing changes for
// the calls themselves unless a refusal is asked for.
#ifndef VANTOREL_TESTS_SUPPORT_WIN_HEAP_HOOKS_H
#define VANTOREL_TESTS_SUPPORT_WIN_HEAP_HOOKS_H

#include <stdint.h>
#include <windows.h>

// Points every entry of the module's import table for dll's `name` at hook (to fail a
// system call in a test); the first entry's old value goes to *real. False when none.
bool hook_import(BYTE* base, const char* dll_name, const char* name, void* hook, void** real);

// Points the import table's entries at the hooks (the first call only); refuses is asked
// before each HeapAlloc and HeapReAlloc, which fails (returns null) when it answers true.
// False when the program does not import all three.
bool win_heap_hooks_install(bool (*refuses)(void));
// Blocks HeapAlloc gave and HeapFree has not taken back since installing.
int32_t win_heap_live_blocks(void);
// HeapAlloc and HeapReAlloc calls since installing, refused ones included.
int32_t win_heap_calls(void);

#endif
