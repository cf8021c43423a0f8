// The batch's progress display; see app/progress.h.
#include "app/progress.h"

#include <commctrl.h>
#include <stdio.h>

#include "runtime/startup.h"
#include "ui/window.h"

static HWND progress_text;
static HWND progress_bar;
static int32_t progress_total;

enum { MARGIN = 20, TEXT_TOP = 76, TEXT_HEIGHT = 16, BAR_TOP = 100, BAR_HEIGHT = 18 };

void progress_show(HWND window, int32_t total) {
    INITCOMMONCONTROLSEX controls = { sizeof controls, ICC_PROGRESS_CLASS };
    InitCommonControlsEx(&controls);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right - 2 * MARGIN;
    progress_text = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_CENTER, MARGIN,
                                    TEXT_TOP, width, TEXT_HEIGHT, window, 0, runtime_instance, 0);
    progress_bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, MARGIN, BAR_TOP,
                                   width, BAR_HEIGHT, window, 0, runtime_instance, 0);
    if (progress_text) SendMessageA(progress_text, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    if (progress_bar) SendMessageA(progress_bar, PBM_SETRANGE32, 0, total);
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
    window_pump_messages();
}
