// The order of start-up and shutdown, observed: the process frame is built here against
// stand-ins of every library step and of the driver, each of which writes its name down.
// The instance handle and the heaps are watched between steps, so their setting, creation
// and destruction show at their places too. The last step compares what was written down
// with the order below and ends the process with code 3 when they differ; otherwise
// runtime_end goes on to exit with 0.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "app/driver.h"
#include "fs/dirscan.h"
#include "fs/files.h"
#include "fs/process.h"
#include "image/alpha.h"
#include "image/codec.h"
#include "image/image.h"
#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/strings.h"
#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/requester_input.h"
#include "ui/window.h"

static const char* const documented[] = {
    "driver_clear", "instance handle", "object heap", "str_engine_init", "file_library_init",
    "alpha_support_init", "memory heap", "image_codecs_init", "image_library_init",
    "list_library_init", "process_library_init", "requester_library_init", "gadget_library_init",
    "map_library_init", "event_channel_init", "window_library_init", "driver_main",
    "window_library_end", "event_channel_end", "gadget_library_end", "image_library_end",
    "alpha_support_end", "dir_release_all", "file_release_all", "memory heap gone",
    "str_engine_free",
};
enum { DOCUMENTED = sizeof documented / sizeof documented[0], MOST = 64 };

static const char* seen[MOST];
static int seen_count;
static HINSTANCE last_instance;
static HANDLE last_object_heap;
static HANDLE last_memory_heap;

static void note(const char* what) {
    if (seen_count < MOST) seen[seen_count++] = what;
}

// What changed since the last step, then the step itself.
static void step(const char* name) {
    if (runtime_instance != last_instance) note(runtime_instance ? "instance handle" : "instance cleared");
    if (object_heap != last_object_heap) note(object_heap ? "object heap" : "object heap gone");
    if (memory_heap != last_memory_heap) note(memory_heap ? "memory heap" : "memory heap gone");
    last_instance = runtime_instance;
    last_object_heap = object_heap;
    last_memory_heap = memory_heap;
    note(name);
}

// Step 1 clears the process variables before anything runs; main leaves them set.
void driver_clear(void) {
    step(runtime_instance || object_heap ? "driver_clear, the variables not cleared" : "driver_clear");
}

// Every other step only writes its name down.
#define STEP(name) \
    void name(void) { step(#name); }
STEP(str_engine_init) STEP(file_library_init) STEP(alpha_support_init) STEP(image_codecs_init)
STEP(image_library_init) STEP(list_library_init) STEP(process_library_init)
STEP(requester_library_init) STEP(gadget_library_init) STEP(map_library_init)
STEP(event_channel_init) STEP(window_library_init) STEP(driver_main)
STEP(window_library_end) STEP(event_channel_end) STEP(gadget_library_end) STEP(image_library_end)
STEP(alpha_support_end) STEP(dir_release_all) STEP(file_release_all)

// The string engine ends last but for the object heap and the exit itself.
void str_engine_free(void) {
    step("str_engine_free");
    bool same = seen_count == DOCUMENTED;
    for (int i = 0; same && i < DOCUMENTED; i++) same = strcmp(seen[i], documented[i]) == 0;
    if (!same) {
        printf("FAILED: the steps ran in this order (the documented one beside it):\n");
        for (int i = 0; i < seen_count; i++)
            printf("  %-24s %s\n", seen[i], i < DOCUMENTED ? documented[i] : "(more than documented)");
        fflush(stdout);
        ExitProcess(3);
    }
    printf("startup order: as documented, %d steps\n", seen_count);
    fflush(stdout);
}

int main(void) {
    runtime_instance = (HINSTANCE)1;
    object_heap = (HANDLE)1;
    runtime_start();
}
