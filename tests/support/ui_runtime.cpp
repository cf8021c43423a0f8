// Start-up of the windows and requesters for test binaries, and the test-only operations.
#include "tests/support/ui_runtime.h"

#include <stdio.h>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "ui/requester_input.h"

// Start-up keeps the instance handle in the process frame, which test binaries lack.
HINSTANCE runtime_instance;

void ui_runtime_start(void) {
    static bool started;
    if (started) return;
    started = true;
    runtime_instance = GetModuleHandleA(0);
    requester_library_init();
    gadget_library_init();
    event_channel_init();
    window_library_init();
}

WindowObject* ui_window_record(int32_t number) {
    return (WindowObject*)registry_get(window_registry, number);
}

int32_t ui_event_bind(int32_t event, int32_t window, int32_t object, int32_t type,
                      BindingProcedure procedure) {
    char key[48];
    snprintf(key, sizeof key, "%d:%d:%d:%d", (int)event, (int)window, (int)object, (int)type);
    BindingCallback* callback =
        (BindingCallback*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(BindingCallback));
    if (!callback) return 0;
    callback->procedure = procedure;
    EventBinding* binding = (EventBinding*)map_find(event_bindings, key);
    if (!binding) {
        binding = (EventBinding*)map_add(event_bindings, key, 0);
        if (!binding) {
            HeapFree(object_heap, 0, callback);
            return 0;
        }
        binding->window = window;
    }
    BindingCallback** end = &binding->chain;
    while (*end) end = &(*end)->next;
    *end = callback;
    return 1;
}

int32_t ui_event_bindings_of(int32_t window) {
    int32_t n = 0;
    map_reset(event_bindings);
    while (EventBinding* binding = (EventBinding*)map_next(event_bindings))
        if (binding->window == window) n++;
    return n;
}

EventFields ui_event_fields(const EventRecord& r) {
    return EventFields(r.event, r.object, r.window, r.type, r.data, r.data2);
}

std::vector<EventRecord> ui_event_queue(void) {
    std::vector<EventRecord> records;
    for (EventRecord* r = event_queue_state->first; r; r = r->next) records.push_back(*r);
    return records;
}

std::vector<int32_t> ui_event_codes(int32_t window) {
    std::vector<int32_t> codes;
    for (EventRecord* r = event_queue_state->first; r; r = r->next)
        if (r->window == window) codes.push_back(r->event);
    return codes;
}

void ui_event_queue_clear(void) {
    EventRecord* r = event_queue_state->first;
    while (r) {
        EventRecord* next = r->next;
        pool_release(event_queue_state->pool, r);
        r = next;
    }
    event_queue_state->first = event_queue_state->last = 0;
}

void ui_pump_messages(void) {
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

GadgetObject* ui_gadget_make(int32_t number, HWND control, GadgetClass* kind) {
    GadgetObject* gadget = (GadgetObject*)registry_allocate(gadget_registry, number);
    if (!gadget) return 0;
    gadget->control = control;
    gadget->gadget_class = kind;
    SetPropA(control, "ZK_ID", (HANDLE)(intptr_t)number);
    return gadget;
}

void DriverWindowTest::SetUp() {
    ui_runtime_start();
    window_close(-1);
    main_window = (HWND)window_open(0, WINDOW_IGNORE, WINDOW_IGNORE, 300, 200, "Vantorel", 1);
    ASSERT_NE(main_window, nullptr);
    ASSERT_EQ(GetForegroundWindow(), main_window);
}

void DriverWindowTest::TearDown() {
    window_close(-1);
    ui_event_queue_clear();
}
