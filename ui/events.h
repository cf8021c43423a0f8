// The event channel: runtime events posted by the window procedure go into a
// first-in, first-out queue of the posting thread, a repeat of the newest one folded into
// it; each post also runs the callbacks bound to the patterns the event matches. Other
// threads hand events in through the registered message "ZK_PostEventMessage" sent to the
// hidden "PostEventClass" window of the thread that opened the channel.
#ifndef VANTOREL_UI_EVENTS_H
#define VANTOREL_UI_EVENTS_H

#include <stdint.h>
#include <windows.h>

#include "runtime/containers.h"
#include "runtime/pool.h"

// One queued event, a block of the queue's pool.
struct EventRecord {
    EventRecord* next;  // the next newer record
    int32_t event;
    int32_t object;
    int32_t window;     // window number, -1 when the window has none
    int32_t type;
    int32_t data;
    int32_t data2;
};

// The event whose bindings are running.
struct CurrentEvent {
    int32_t event;
    int32_t window;
    int32_t object;
    int32_t type;
    int32_t data;
    int32_t data2;
};

struct EventQueueState {
    BlockPool* pool;      // EventRecord blocks: 16 at first, chunks of at most 256, no lock
    EventRecord* first;   // oldest
    EventRecord* last;    // newest
    int32_t posting_suspended;  // while set, posts without force are dropped
    CurrentEvent current_event;
};

typedef void (*BindingProcedure)(void);

// One bound procedure; a block of object_heap owned by its binding.
struct BindingCallback {
    BindingCallback* next;
    BindingProcedure procedure;
};

// The element of the bindings map, stored under the key "event:window:object:type"
// (-1 for any value).
struct EventBinding {
    BindingCallback* chain;
    int32_t window;
};

// Handed over in lParam of "ZK_PostEventMessage"; a block of object_heap that the
// receiving side frees.
struct PostedEventRecord {
    int32_t unused;
    int32_t event;
    int32_t object;
    int32_t window;
    int32_t type;
    int32_t data;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(EventRecord) == 28, "EventRecord keeps its 32-bit layout");
static_assert(sizeof(EventQueueState) == 40, "EventQueueState keeps its 32-bit layout");
static_assert(sizeof(BindingCallback) == 8, "BindingCallback keeps its 32-bit layout");
static_assert(sizeof(EventBinding) == 8, "EventBinding keeps its 32-bit layout");
static_assert(sizeof(PostedEventRecord) == 24, "PostedEventRecord keeps its 32-bit layout");
#endif

// Codes at or above this are queued every time, never folded.
enum { EVENT_FOLDING_LIMIT = 0x10000 };

extern HWND event_post_window;
extern UINT event_post_message;
extern HashMap* event_bindings;
extern EventQueueState* event_queue_state;

void event_channel_init(void);
void event_channel_end(void);

// Queues the event (or folds it into the newest record) and runs the bindings of its
// five keys. Returns 1 when the event is in the queue, 0 when it was dropped (posting
// suspended, or no memory for a record); the bindings run in both cases unless posting
// is suspended.
int32_t event_post(int32_t event, int32_t object, int32_t window, int32_t type, int32_t data = 0,
                   int32_t data2 = 0, int32_t force = 0);

// Forget every queued event and every binding of a closed window.
void event_queue_remove_window(int32_t number);
void event_bindings_remove_window(int32_t number);

// The procedure of the "PostEventClass" window.
LRESULT CALLBACK post_event_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif
