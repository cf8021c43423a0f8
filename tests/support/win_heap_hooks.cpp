// The heap calls' hooks, installed in the import table of the program's own module.
#include "tests/support/win_heap_hooks.h"

#include <string.h>
#include <windows.h>

namespace {

typedef LPVOID(WINAPI* HeapAllocCall)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI* HeapReAllocCall)(HANDLE, DWORD, LPVOID, SIZE_T);
typedef BOOL(WINAPI* HeapFreeCall)(HANDLE, DWORD, LPVOID);

HeapAllocCall real_alloc;
HeapReAllocCall real_realloc;
HeapFreeCall real_free;
bool (*refusal)(void);
int32_t live;
int32_t calls;

bool refused(void) {
    calls++;
    return refusal && refusal();
}

LPVOID WINAPI hooked_alloc(HANDLE heap, DWORD flags, SIZE_T size) {
    if (refused()) return 0;
    LPVOID block = real_alloc(heap, flags, size);
    if (block) live++;
    return block;
}

// A refused reallocation leaves the block as it was, as a real failure does.
LPVOID WINAPI hooked_realloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
    if (refused()) return 0;
    return real_realloc(heap, flags, block, size);
}

BOOL WINAPI hooked_free(HANDLE heap, DWORD flags, LPVOID block) {
    BOOL freed = real_free(heap, flags, block);
    if (freed && block) live--;
    return freed;
}

}  // namespace

// Points every import of dll's `name` in the module at hook; the first entry's old value
// goes to *real. False when there is none.
bool hook_import(BYTE* base, const char* dll_name, const char* name, void* hook, void** real) {
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return false;
    bool found = false;
    for (IMAGE_IMPORT_DESCRIPTOR* dll = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress);
         dll->Name; dll++) {
        if (lstrcmpiA((const char*)(base + dll->Name), dll_name) != 0 || !dll->OriginalFirstThunk)
            continue;
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA* entries = (IMAGE_THUNK_DATA*)(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; names++, entries++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            IMAGE_IMPORT_BY_NAME* import = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (strcmp((const char*)import->Name, name) != 0) continue;
            DWORD protection;
            if (!VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function,
                                PAGE_READWRITE, &protection))
                continue;
            if (!found) *real = (void*)entries->u1.Function;
            entries->u1.Function = (ULONG_PTR)hook;
            VirtualProtect(&entries->u1.Function, sizeof entries->u1.Function, protection,
                           &protection);
            found = true;
        }
    }
    return found;
}

bool win_heap_hooks_install(bool (*refuses)(void)) {
    static int installed = -1;  // -1: not tried yet
    refusal = refuses;
    if (installed != -1) return installed == 1;
    BYTE* base = (BYTE*)GetModuleHandleA(0);
    void* alloc = 0;
    void* reallocate = 0;
    void* release = 0;
    // Hooked where imported; the count means something only with all three.
    bool hooked = hook_import(base, "kernel32.dll", "HeapFree", (void*)hooked_free, &release);
    real_free = (HeapFreeCall)release;
    hooked = hook_import(base, "kernel32.dll", "HeapAlloc", (void*)hooked_alloc, &alloc) && hooked;
    real_alloc = (HeapAllocCall)alloc;
    hooked = hook_import(base, "kernel32.dll", "HeapReAlloc", (void*)hooked_realloc, &reallocate) && hooked;
    real_realloc = (HeapReAllocCall)reallocate;
    installed = hooked ? 1 : 0;
    return hooked;
}

int32_t win_heap_live_blocks(void) {
    return live;
}

int32_t win_heap_calls(void) {
    return calls;
}
