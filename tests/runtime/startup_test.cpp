// The process frame with a driver of its own: the driver checks what start-up prepared
// and ends the process with a non-zero code when something is missing; returning lets
// runtime_end exit with 0, which is what the test expects.
#include <stdio.h>
#include <windows.h>

#include "app/driver.h"
#include "image/codec.h"
#include "image/image.h"
#include "runtime/containers.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/strings.h"
#include "ui/events.h"
#include "ui/gadgets.h"
#include "ui/window.h"

static int driver_state = 7;
static int failures;

static void check(bool condition, const char* what) {
    if (!condition) {
        printf("FAILED: %s\n", what);
        failures++;
    }
}

void driver_clear(void) { driver_state = 0; }

void driver_main(void) {
    check(driver_state == 0, "the driver's variables are cleared before it runs");
    check(runtime_instance == GetModuleHandleA(0), "the instance handle is the program's module");
    check(object_heap != 0 && object_heap != GetProcessHeap(), "the object heap is private");
    check(memory_heap != 0 && memory_heap != object_heap, "the memory heap is a heap of its own");
    check(string_heap != 0 && string_buffer != 0 && string_end == 0 && string_capacity == 16,
          "the string engine is fresh");
    const ContainerOperations& ops = container_operations;
    check(ops.create_list == list_new && ops.copy_list == list_copy && ops.free_list == list_free,
          "the list library filled its container entries");
    check(ops.create_map == map_new && ops.copy_map == map_copy && ops.free_map == map_free,
          "the map library filled its container entries");
    check(image_registry != 0 && image_registry->capacity == 16 && image_decode_request != 0,
          "the image library is ready");
    check(gadget_registry != 0 && gadget_list_state != 0, "the gadget library is up");
    check(IsWindow(event_post_window) && event_post_message != 0 && event_bindings != 0 &&
              event_queue_state != 0 && event_queue_state->pool != 0,
          "the event channel is up");
    check(window_registry != 0 && window_library_state != 0 && window_cursor != 0,
          "the window library is up");
    check(window_open(0, -65535, -65535, 300, 200, "Vantorel", 1) != 0, "window 0 opens");
    void* block = memory_alloc(16, 0);
    check(block != 0, "memory_alloc works");
    // Leave things behind on purpose (a string, window 0): shutdown must still end with
    // exit code 0.
    str_concat("left over");
    if (failures) {
        fflush(stdout);
        ExitProcess(3);
    }
    printf("startup: all checks passed\n");
    fflush(stdout);
}

int main(void) {
    runtime_start();
}
