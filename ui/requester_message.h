// The message requester and the modality of requesters: while a requester is open,
// every other visible top-level window of the calling thread is disabled and loses its
// top-most place; afterwards exactly those changes are undone. The requester's owner is
// the foreground window when it belongs to this process.
#ifndef VANTOREL_UI_REQUESTER_MESSAGE_H
#define VANTOREL_UI_REQUESTER_MESSAGE_H

#include <stdint.h>
#include <windows.h>

// A window recorded by thread_windows_modal(1), until the same thread restores.
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
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(DisabledWindowEntry) == 12, "DisabledWindowEntry keeps its 32-bit layout");
#endif

extern DisabledWindowNode* disabled_windows;

// MessageBoxA's answer (IDOK for a box with one OK button); flags are the MB_ type bits.
int32_t message_requester(const char* title, const char* text, uint32_t flags);
// The foreground window when it belongs to this process, else none.
HWND requester_owner(void);
// Non-zero disables the thread's other visible windows; zero restores what the
// thread's last disabling changed.
void thread_windows_modal(int32_t disable);

#endif
