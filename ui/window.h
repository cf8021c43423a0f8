// Numbered top-level windows. Each window has a class of its own ("WindowClass_%d"
// with its number), lives in the window registry and carries its number + 1 in the
// property "ZK_WindowID". Its messages go through the window procedure
// (ui/window_procedure.h), which turns them into runtime events.
#ifndef VANTOREL_UI_WINDOW_H
#define VANTOREL_UI_WINDOW_H

#include <stdint.h>
#include <windows.h>

#include "runtime/registry.h"

// A window's own message callback; CALLBACK_CONTINUE lets the library handle the
// message, any other value is the message's result.
typedef LRESULT (*WindowCallback)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Paints the background when no brush is set.
typedef LRESULT (*BackgroundPainter)(HDC dc, HWND window);

struct WindowObject {
    HWND handle;
    ACCEL* accelerator_entries;  // object_heap, owned
    HACCEL accelerator_table;
    WindowCallback callback;
    int32_t accelerator_count;
    HBRUSH background_brush;     // owned; deleted at close
    HWND mdi_client;             // set when the window is an MDI child
    BackgroundPainter background_painter;
    uint16_t min_width;          // tracking-size limits; 0 means none
    uint16_t min_height;
    uint16_t max_width;
    uint16_t max_height;
    int32_t minimized_or_maximized;
};

struct WindowLibraryState {
    WindowCallback global_callback;  // for windows without a callback of their own
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(WindowObject) == 44, "WindowObject keeps its 32-bit layout");
static_assert(sizeof(WindowLibraryState) == 4, "WindowLibraryState keeps its 32-bit layout");
#endif

// Flags of window_open. Every other bit is a window style bit and passes through.
enum WindowFlags : uint32_t {
    WINDOW_CENTRE_SCREEN = 0x00000001,
    WINDOW_CENTRE_PARENT = 0x00000002,  // on the parent, or without one on the active window
    WINDOW_TOOL = 0x00000004,
    WINDOW_NOT_GADGET_LIST = 0x00000008,
    WINDOW_INVISIBLE = 0x10000000,
    WINDOW_NO_ACTIVATION = 0x02000000,
    WINDOW_MAXIMIZED = 0x01000000,
    WINDOW_MINIMIZED = 0x20000000,
};

// A position of -65535 lets the system place the window.
enum { WINDOW_IGNORE = -65535 };

extern ObjectRegistry* window_registry;
extern WindowLibraryState* window_library_state;
extern HICON window_icon;
extern HCURSOR window_cursor;

void window_library_init(void);
// Closes every window still open.
void window_library_end(void);

// Opens window number (-1: an automatic number) with a client area of width x height.
// Returns the window handle for an explicit number, the assigned number for -1, 0 on
// failure. A number already open is closed first.
intptr_t window_open(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char* title, uint32_t flags, HWND parent = 0);
// hide non-zero hides, zero shows (flags may centre or keep the activation). Returns
// ShowWindow's result, 0 for a number that is not open.
int32_t window_hide(int32_t number, int32_t hide, uint32_t flags = 0);
// Closes one window, or every window for -1; 0 for a number that is not open.
int32_t window_close(int32_t number);
// Takes and dispatches every message waiting for this thread, so that its windows paint
// and answer while a long job runs on it; what the window procedure makes of them stays
// in the event queue. It stops at a quit message and returns 1 with the quit's exit code
// in *quit_code: the job should end, and the quit is its caller's to post again for the
// next message loop. 0 when no quit came.
int32_t window_pump_messages(int32_t* quit_code);
// Centres on the screen (flag 0x1) or on reference (flag 0x2; without one the active
// window), never at a negative coordinate.
void window_centre(HWND window, uint32_t flags, HWND reference);

#endif
