// The event channel: the queue of the main thread, the bindings map and the hidden
// window through which other threads hand events in.
#include "ui/events.h"

#include <stdio.h>

#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/startup.h"

HWND event_post_window;
UINT event_post_message;
HashMap* event_bindings;
EventQueueState* event_queue_state;

static void queue_state_init(void* record) {
    EventQueueState* state = (EventQueueState*)record;
    state->pool = pool_new(sizeof(EventRecord), 16, 256, 2);
}

static void queue_state_release(void* record) {
    EventQueueState* state = (EventQueueState*)record;
    if (state->pool) pool_delete(state->pool);
    state->pool = 0;
    state->first = state->last = 0;
}

void event_channel_init(void) {
    WNDCLASSA window_class = {};
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = post_event_procedure;
    window_class.hInstance = runtime_instance;
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = "PostEventClass";
    RegisterClassA(&window_class);
    event_post_window = CreateWindowExA(0, "PostEventClass", 0, WS_CAPTION, 0, 0, 1, 1, 0, 0,
                                        runtime_instance, 0);
    event_post_message = RegisterWindowMessageA("ZK_PostEventMessage");
    event_queue_state = (EventQueueState*)single_object_new(sizeof(EventQueueState), queue_state_init,
                                                            queue_state_release);
    map_new(sizeof(EventBinding), 7, 0, &event_bindings, 1024);
}

void event_channel_end(void) {
    if (event_post_window) DestroyWindow(event_post_window);
    event_post_window = 0;
}

static void run_bindings(int32_t event, int32_t window, int32_t object, int32_t type) {
    char key[48];
    snprintf(key, sizeof key, "%d:%d:%d:%d", (int)event, (int)window, (int)object, (int)type);
    EventBinding* binding = (EventBinding*)map_find(event_bindings, key);
    if (!binding) return;
    for (BindingCallback* callback = binding->chain; callback; callback = callback->next)
        if (callback->procedure) callback->procedure();
}

// The newest record takes a repeat of itself instead of a new record.
static bool folds_into_last(const EventQueueState* state, int32_t event, int32_t object,
                            int32_t window, int32_t type) {
    const EventRecord* last = state->last;
    return last && event < EVENT_FOLDING_LIMIT && last->event == event &&
           last->object == object && last->window == window && last->type == type;
}

static int32_t enqueue(EventQueueState* state, int32_t event, int32_t object, int32_t window,
                       int32_t type, int32_t data, int32_t data2) {
    if (folds_into_last(state, event, object, window, type)) return 1;
    EventRecord* record = state->pool ? (EventRecord*)pool_alloc(state->pool) : 0;
    if (!record) return 0;
    record->next = 0;
    record->event = event;
    record->object = object;
    record->window = window;
    record->type = type;
    record->data = data;
    record->data2 = data2;
    if (state->last) state->last->next = record;
    else state->first = record;
    state->last = record;
    return 1;
}

int32_t event_post(int32_t event, int32_t object, int32_t window, int32_t type, int32_t data,
                   int32_t data2, int32_t force) {
    EventQueueState* state = (EventQueueState*)single_object_get(event_queue_state);
    if (!state) return 0;
    if (state->posting_suspended && !force) return 0;
    int32_t queued = enqueue(state, event, object, window, type, data, data2);

    CurrentEvent saved = state->current_event;
    state->current_event = CurrentEvent{ event, window, object, type, data, data2 };
    run_bindings(event, window, object, type);
    run_bindings(event, window, object, -1);
    run_bindings(event, window, -1, -1);
    run_bindings(event, -1, -1, -1);
    run_bindings(event, -1, object, type);
    state->current_event = saved;
    return queued;
}

void event_queue_remove_window(int32_t number) {
    EventQueueState* state = (EventQueueState*)single_object_get(event_queue_state);
    if (!state) return;
    EventRecord* kept = 0;
    EventRecord* record = state->first;
    while (record) {
        EventRecord* next = record->next;
        if (record->window == number) {
            if (kept) kept->next = next;
            else state->first = next;
            pool_release(state->pool, record);
        } else {
            kept = record;
        }
        record = next;
    }
    state->last = kept;
}

void event_bindings_remove_window(int32_t number) {
    map_reset(event_bindings);
    EventBinding* binding = (EventBinding*)map_next(event_bindings);
    while (binding) {
        if (binding->window != number) {
            binding = (EventBinding*)map_next(event_bindings);
            continue;
        }
        // The map frees its nodes; the callbacks are the binding's own blocks.
        BindingCallback* callback = binding->chain;
        while (callback) {
            BindingCallback* next = callback->next;
            HeapFree(object_heap, 0, callback);
            callback = next;
        }
        map_delete_current(event_bindings);
        binding = (EventBinding*)map_next(event_bindings);
    }
}

LRESULT CALLBACK post_event_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == event_post_message && event_post_message && lparam) {
        PostedEventRecord* posted = (PostedEventRecord*)lparam;
        event_post(posted->event, posted->object, posted->window, posted->type, posted->data, 0, 0);
        HeapFree(object_heap, 0, posted);
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
