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
    thread_windows_modal(1);
    int32_t answer = MessageBoxA(requester_owner(), text ? text : str_empty, title ? title : str_empty,
                                 flags);
    thread_windows_modal(0);
    return answer;
}

static BOOL CALLBACK record_window(HWND window, LPARAM) {
    if (GetWindowThreadProcessId(window, 0) != GetCurrentThreadId() || !IsWindowVisible(window))
        return TRUE;
    DisabledWindowNode* node =
        (DisabledWindowNode*)HeapAlloc(object_heap, HEAP_ZERO_MEMORY, sizeof(DisabledWindowNode));
    // A window that cannot be recorded could not be restored: leave it alone.
    if (!node) return TRUE;
    node->entry.thread_id = GetCurrentThreadId();
    node->entry.window = window;
    node->next = disabled_windows;
    if (disabled_windows) disabled_windows->previous = node;
    disabled_windows = node;
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

static void disable_thread_windows(void) {
    EnumWindows(record_window, 0);
    DWORD thread = GetCurrentThreadId();
    for (DisabledWindowNode* node = disabled_windows; node; node = node->next)
        if (node->entry.thread_id == thread && node->entry.was_topmost)
            SetWindowPos(node->entry.window, HWND_NOTOPMOST, 0, 0, 0, 0, TOPMOST_CHANGE);
}

static void restore_thread_windows(void) {
    DWORD thread = GetCurrentThreadId();
    DisabledWindowNode* node = disabled_windows;
    while (node) {
        DisabledWindowNode* next = node->next;
        if (node->entry.thread_id == thread) {
            if (node->entry.disabled_here) EnableWindow(node->entry.window, TRUE);
            if (node->entry.was_topmost)
                SetWindowPos(node->entry.window, HWND_TOPMOST, 0, 0, 0, 0, TOPMOST_CHANGE);
            if (node->previous) node->previous->next = next;
            else disabled_windows = next;
            if (next) next->previous = node->previous;
            HeapFree(object_heap, 0, node);
        }
        node = next;
    }
}

void thread_windows_modal(int32_t disable) {
    lock_list();
    if (disable) disable_thread_windows();
    else restore_thread_windows();
    unlock_list();
}
