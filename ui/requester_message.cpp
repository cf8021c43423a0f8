// The message requester and the thread-wide modality shared with the input requester.
#include "ui/requester_message.h"

#include "runtime/memory.h"
#include "runtime/once.h"
#include "runtime/strings.h"

DisabledWindowNode* disabled_windows;

// Requesters may run on several threads at once: the one list is kept under a lock.
static OnceFlag list_lock_once;
static CRITICAL_SECTION list_lock;

static void list_lock_init(void) { InitializeCriticalSection(&list_lock); }

static void lock_list(void) {
    run_once(&list_lock_once, list_lock_init);
    EnterCriticalSection(&list_lock);
}

static void unlock_list(void) { LeaveCriticalSection(&list_lock); }

HWND requester_owner(void) {
    HWND window = GetForegroundWindow();
    if (!window) return 0;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() ? window : 0;
}

int32_t message_requester(const char* title, const char* text, uint32_t flags) {
    uint32_t mark = thread_windows_disable();
    int32_t answer = MessageBoxA(requester_owner(), text ? text : str_empty, title ? title : str_empty,
                                 flags);
    thread_windows_restore(mark);
    return answer;
}

// This disabling's entries, newest first, gathered before they join the list.
struct Recording {
    DisabledWindowNode* first;
    uint32_t mark;
};

static BOOL CALLBACK record_window(HWND window, LPARAM context) {
    if (GetWindowThreadProcessId(window, 0) != GetCurrentThreadId() || !IsWindowVisible(window))
        return TRUE;
    Recording* recording = (Recording*)context;
    DisabledWindowNode* node =
        (DisabledWindowNode*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(DisabledWindowNode));
    // A window that cannot be recorded could not be restored: leave it alone.
    if (!node) return TRUE;
    node->entry.thread_id = GetCurrentThreadId();
    node->entry.window = window;
    node->mark = recording->mark;
    node->next = recording->first;
    if (recording->first) recording->first->previous = node;
    recording->first = node;
    if (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) node->entry.was_topmost = 1;
    if (window != GetForegroundWindow() && IsWindowEnabled(window)) {
        node->entry.disabled_here = 1;
        EnableWindow(window, FALSE);
    }
    return TRUE;
}

// Without SWP_NOACTIVATE the window would also be activated: a top-most window would
// take the activation, and with it the requester's ownership, from the foreground window.
static const UINT TOPMOST_CHANGE = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

// Never 0, so that 0 can stand for "nothing to restore".
static volatile LONG last_mark;

static uint32_t new_mark(void) {
    uint32_t mark;
    while ((mark = (uint32_t)InterlockedIncrement(&last_mark)) == 0) {}
    return mark;
}

// EnableWindow and SetWindowPos send messages to the windows, whose procedures may open
// requesters of their own: they are called with the list unlocked, on entries that are
// not in the list.
uint32_t thread_windows_disable(void) {
    Recording recording = { 0, new_mark() };
    EnumWindows(record_window, (LPARAM)&recording);
    DisabledWindowNode* last = 0;
    for (DisabledWindowNode* node = recording.first; node; node = node->next) {
        if (node->entry.was_topmost)
            SetWindowPos(node->entry.window, HWND_NOTOPMOST, 0, 0, 0, 0, TOPMOST_CHANGE);
        last = node;
    }
    if (last) {
        lock_list();
        last->next = disabled_windows;
        if (disabled_windows) disabled_windows->previous = last;
        disabled_windows = recording.first;
        unlock_list();
    }
    return recording.mark;
}

void thread_windows_restore(uint32_t mark) {
    if (!mark) return;
    DWORD thread = GetCurrentThreadId();
    // This disabling's entries leave the list first, in list order.
    DisabledWindowNode* taken = 0;
    DisabledWindowNode** tail = &taken;
    lock_list();
    DisabledWindowNode* node = disabled_windows;
    while (node) {
        DisabledWindowNode* next = node->next;
        if (node->entry.thread_id == thread && node->mark == mark) {
            if (node->previous) node->previous->next = next;
            else disabled_windows = next;
            if (next) next->previous = node->previous;
            node->next = 0;
            *tail = node;
            tail = &node->next;
        }
        node = next;
    }
    unlock_list();
    while (taken) {
        DisabledWindowNode* next = taken->next;
        if (taken->entry.disabled_here) EnableWindow(taken->entry.window, TRUE);
        if (taken->entry.was_topmost)
            SetWindowPos(taken->entry.window, HWND_TOPMOST, 0, 0, 0, 0, TOPMOST_CHANGE);
        HeapFree(object_heap, 0, taken);
        taken = next;
    }
}
