// The order of start-up and shutdown: the process frame built against stand-ins of every
// step, each writing its name down, with the instance handle, the heaps and the memory
// exhaustion hook watched between steps. The exit itself, reached through the import
// table, ends the process with code 3 unless the record is the order below.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "tests/support/win_heap_hooks.h"

static const char* const documented[] = {
    "driver_clear", "instance handle", "object heap", "str_engine_init", "file_library_init",
    "alpha_support_init", "memory heap",
    // A mend: running out of memory ends the process through the whole shutdown.
    "exhaustion hook runtime_end",
    "image_codecs_init", "image_library_init",
    "list_library_init", "process_library_init", "requester_library_init", "gadget_library_init",
    "map_library_init", "event_channel_init", "window_library_init", "driver_main",
    "window_library_end", "event_channel_end", "gadget_library_end", "image_library_end",
    "alpha_support_end", "dir_release_all", "file_release_all", "memory heap gone", "str_engine_free",
    "object heap gone", "ExitProcess(0)",
};
enum { DOCUMENTED = sizeof documented / sizeof documented[0] };

static const char* seen[64];
static int seen_count;
static void* last[4];

static void step(const char* name) {
    void* now[4] = {runtime_instance, object_heap, memory_heap, (void*)memory_exhausted_hook};
    const char* made[4] = {"instance handle", "object heap", "memory heap",
                           memory_exhausted_hook == runtime_end ? "exhaustion hook runtime_end" : "exhaustion hook"};
    const char* gone[4] = {"instance cleared", "object heap gone", "memory heap gone", "exhaustion hook gone"};
    for (int i = 0; i < 4; i++)
        if (now[i] != last[i] && seen_count < 63) seen[seen_count++] = now[i] ? made[i] : gone[i];
    memcpy(last, now, sizeof last);
    if (seen_count < 64) seen[seen_count++] = name;
}

// Step 1 clears the process variables before anything runs; main leaves them set.
void driver_clear(void) { step(runtime_instance || object_heap ? "driver_clear, not cleared" : "driver_clear"); }
#define STEP(name) \
    void name(void) { step(#name); }
STEP(str_engine_init) STEP(file_library_init) STEP(alpha_support_init) STEP(image_codecs_init)
STEP(image_library_init) STEP(list_library_init) STEP(process_library_init)
STEP(requester_library_init) STEP(gadget_library_init) STEP(map_library_init)
STEP(event_channel_init) STEP(window_library_init) STEP(driver_main)
STEP(window_library_end) STEP(event_channel_end) STEP(gadget_library_end) STEP(image_library_end)
STEP(alpha_support_end) STEP(dir_release_all) STEP(file_release_all) STEP(str_engine_free)

static void(WINAPI* real_exit)(UINT);

static void WINAPI exit_checked(UINT code) {
    step(code ? "ExitProcess, not 0" : "ExitProcess(0)");
    bool same = seen_count == DOCUMENTED;
    for (int i = 0; i < seen_count; i++) {
        if (i >= DOCUMENTED || strcmp(seen[i], documented[i]) != 0) same = false;
        printf("%-27s %s\n", seen[i], i < DOCUMENTED ? documented[i] : "");
    }
    fflush(stdout);
    real_exit(same ? 0 : 3);
}

int main(void) {
    if (!hook_import((BYTE*)GetModuleHandleA(0), "kernel32.dll", "ExitProcess", (void*)exit_checked,
                     (void**)&real_exit))
        return 4;
    runtime_instance = (HINSTANCE)1;
    object_heap = (HANDLE)1;
    runtime_start();
    printf("runtime_start came back\n");
    return 3;
}
