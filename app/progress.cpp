// The batch's progress display; see app/progress.h.
#include "app/progress.h"

#include <commctrl.h>
#include <stdio.h>

#include "runtime/startup.h"
#include "ui/messages.h"
#include "ui/window.h"

static HWND progress_text;
static HWND progress_bar;
static HWND progress_button;
static WNDPROC button_procedure;
static int32_t progress_total;
static int32_t stop_asked;
static int32_t quit_taken;
static int32_t quit_code;

enum {
    MARGIN = 20,
    TEXT_TOP = 76,
    TEXT_HEIGHT = 16,
    BAR_TOP = 100,
    BAR_HEIGHT = 18,
    BUTTON_WIDTH = 75,
    BUTTON_HEIGHT = 24,
    GAP = 8,
};

// Window 0's messages pass here before the library's: the button's press and the end of
// the session stop the batch; everything goes on to the library as before.
static LRESULT on_window_message(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && progress_button && (HWND)lparam == progress_button &&
        HIWORD(wparam) == BN_CLICKED)
        stop_asked = 1;
    // It comes while the step takes messages, between pictures, when no temporary file is
    // there; the run then ends at once, before the system ends the process.
    if (message == WM_ENDSESSION && wparam) stop_asked = 1;
    return CALLBACK_CONTINUE;
}

// The button keeps the focus, so Esc reaches it: Esc presses it.
static LRESULT CALLBACK on_button_message(HWND button, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_KEYDOWN && wparam == VK_ESCAPE) stop_asked = 1;
    return CallWindowProcA(button_procedure, button, message, wparam, lparam);
}

void progress_show(HWND window, int32_t total) {
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&controls);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right - 2 * MARGIN;
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    progress_text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER, MARGIN,
                                    TEXT_TOP, width, TEXT_HEIGHT, window, 0, runtime_instance, 0);
    progress_bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, MARGIN, BAR_TOP,
                                   width - BUTTON_WIDTH - GAP, BAR_HEIGHT, window, 0, runtime_instance, 0);
    progress_button = CreateWindowExA(0, "BUTTON", "Stop", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                      client.right - MARGIN - BUTTON_WIDTH, BAR_TOP + (BAR_HEIGHT - BUTTON_HEIGHT) / 2,
                                      BUTTON_WIDTH, BUTTON_HEIGHT, window, (HMENU)IDCANCEL, runtime_instance, 0);
    if (progress_text) SendMessageA(progress_text, WM_SETFONT, (WPARAM)font, 0);
    if (progress_bar) SendMessageA(progress_bar, PBM_SETRANGE32, 0, total);
    if (progress_button) {
        SendMessageA(progress_button, WM_SETFONT, (WPARAM)font, 0);
        button_procedure = (WNDPROC)SetWindowLongPtrA(progress_button, GWLP_WNDPROC, (LONG_PTR)on_button_message);
        SetFocus(progress_button);
    }
    intptr_t number = (intptr_t)GetPropA(window, "ZK_WindowID") - 1;
    WindowObject* record = window_registry ? (WindowObject*)registry_get(window_registry, (int32_t)number) : 0;
    if (record) record->callback = on_window_message;
    progress_total = total;
    progress_step(0);
}

void progress_step(int32_t done) {
    if (progress_bar) SendMessageA(progress_bar, PBM_SETPOS, done, 0);
    if (progress_text) {
        char text[64];
        snprintf(text, sizeof text, "%d of %d images in processed", (int)done, (int)progress_total);
        SetWindowTextA(progress_text, text);
    }
    if (window_pump_messages(&quit_code)) quit_taken = stop_asked = 1;
}

int32_t progress_stop_asked(void) { return stop_asked; }

void progress_end(void) {
    if (progress_button) EnableWindow(progress_button, FALSE);
}

void progress_pass_quit(void) {
    if (quit_taken) PostQuitMessage((int)quit_code);
    quit_taken = 0;
}
