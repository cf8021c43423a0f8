// The input requester: a small modal dialog of the class "InputRequester" with a
// prompt, a one-line field and an OK button, running its own message loop until it is
// closed. Enter and OK accept, Escape and the close box cancel. The answer comes back as
// a temporary string of the string engine. Also the requester library's start-up.
#ifndef VANTOREL_UI_REQUESTER_INPUT_H
#define VANTOREL_UI_REQUESTER_INPUT_H

#include <stdint.h>
#include <windows.h>

// The one input dialog of the process.
struct InputRequesterState {
    HWND prompt_control;
    HWND input_control;
    HWND ok_control;
    HWND owner;              // requester_owner() when the dialog opened, or none
    int32_t owner_disabled;  // the dialog disabled the owner and enables it again
    int32_t done;            // the dialog window is destroyed: the modal loop ends
    HFONT font;              // fetched on first use, kept for later dialogs
    HWND dialog;
};

enum {
    INPUT_REQUESTER_PASSWORD = 0x1,  // flag: the field shows placeholder characters
    INPUT_REQUESTER_FIELD_ID = 10,
    INPUT_REQUESTER_ACCEPT = 1000,   // the OK button and Enter
    INPUT_REQUESTER_CANCEL = 1001,   // Escape
};

extern InputRequesterState input_requester_state;
extern const char input_requester_class[];  // "InputRequester"

// Common controls and COM for the calling thread.
void requester_library_init(void);

// Shows the dialog and leaves at offset position of the temporary buffer the typed text
// when the user accepts, the empty string otherwise; string_end ends just behind it.
// Any text may be null. While one dialog is open, another call returns the empty string.
void input_requester(const char* title, const char* prompt, const char* default_text, int32_t position);
void input_requester_ex(const char* title, const char* prompt, const char* default_text,
                        uint32_t flags, int32_t position);

LRESULT CALLBACK input_requester_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Enables the owner again when the dialog disabled it, then restores the thread's windows.
void input_requester_finish(void);

#endif
