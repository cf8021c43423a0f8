// The message requester and the modality of requesters: while a requester is open,
// every other visible top-level window of the calling thread is disabled and loses its
// top-most place; afterwards exactly those changes are undone. The requester's owner is
// the foreground window when it belongs to this process.
#ifndef VANTOREL_UI_REQUESTER_MESSAGE_H
#define VANTOREL_UI_REQUESTER_MESSAGE_H

#include <stdint.h>
#include <windows.h>

// A window recorded by thread_windows_disable, until the same thread restores it.
struct DisabledWindowEntry {
    DWORD thread_id;
    HWND window;
    uint8_t was_topmost;    // had WS_EX_TOPMOST when recorded
    uint8_t disabled_here;  // was enabled, and was disabled by the requester library
};

// One element of the process-wide list of recorded windows, newest first.
struct DisabledWindowNode {
    DisabledWindowNode* next;
    DisabledWindowNode* previous;
    DisabledWindowEntry entry;
    uint32_t mark;  // the disabling that recorded it
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(DisabledWindowEntry) == 12, "DisabledWindowEntry keeps its 32-bit layout");
#endif

extern DisabledWindowNode* disabled_windows;

// MessageBoxA's answer (IDOK for a box with one OK button); flags are the MB_ type bits.
int32_t message_requester(const char* title, const char* text, uint32_t flags);
// The foreground window when it belongs to this process, else none.
HWND requester_owner(void);
// Disables the thread's other visible windows and takes their top-most place; the mark
// returned (never 0) names exactly these changes for thread_windows_restore, so that
// nested requesters each undo their own.
uint32_t thread_windows_disable(void);
// Undoes the changes of the disabling that returned mark, on the calling thread; 0 does
// nothing.
void thread_windows_restore(uint32_t mark);

#endif
