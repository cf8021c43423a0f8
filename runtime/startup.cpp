// runtime_start and runtime_end. Each library step appears here, at its place in the
// order, once its library exists.
#include "runtime/startup.h"

#include "app/driver.h"
#include "fs/dirscan.h"
#include "fs/files.h"
#include "fs/process.h"
#include "image/alpha.h"
#include "image/codec.h"
#include "image/image.h"
#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/strings.h"
#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/requester_input.h"
#include "ui/window.h"

HINSTANCE runtime_instance;

void runtime_start(void) {
    runtime_instance = 0;
    object_heap = 0;
    driver_clear();

    runtime_instance = GetModuleHandleA(0);
    object_heap = HeapCreate(0, 4096, 0);
    str_engine_init();
    file_library_init();
    alpha_support_init();
    memory_heap = HeapCreate(0, 4096, 0);
    memory_exhausted_hook = runtime_end;
    image_codecs_init();
    image_library_init();
    list_library_init();
    process_library_init();
    requester_library_init();
    gadget_library_init();
    map_library_init();
    event_channel_init();
    window_library_init();

    driver_main();
    runtime_end();
}

void runtime_end(void) {
    window_library_end();
    event_channel_end();
    gadget_library_end();
    image_library_end();
    alpha_support_end();
    dir_release_all();
    file_release_all();
    if (memory_heap) HeapDestroy(memory_heap);
    memory_heap = 0;
    str_engine_free();
    if (object_heap) HeapDestroy(object_heap);
    object_heap = 0;
    ExitProcess(0);
}
