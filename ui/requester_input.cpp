// The input requester. Its class is registered for each dialog and unregistered when the
// dialog window goes; the modal loop translates Enter and Escape through an accelerator
// table of its own and does no dialog-manager processing.
#include "ui/requester_input.h"

#include <commctrl.h>
#include <objbase.h>
#include <string.h>

#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/strings.h"
#include "ui/requester_message.h"

InputRequesterState input_requester_state;
const char input_requester_class[] = "InputRequester";

// Set while a dialog is open: the state above serves one dialog at a time.
static volatile LONG dialog_open;
// The disabling of the thread's windows, until input_requester_finish restores it.
static uint32_t windows_mark;

void requester_library_init(void) {
    INITCOMMONCONTROLSEX controls = { 8, 0xB48 };
    InitCommonControlsEx(&controls);
    CoInitialize(0);
}

void input_requester(const char* title, const char* prompt, const char* default_text, int32_t position) {
    input_requester_ex(title, prompt, default_text, 0, position);
}

void input_requester_finish(void) {
    InputRequesterState* state = &input_requester_state;
    if (state->owner_disabled) {
        EnableWindow(state->owner, TRUE);
        state->owner_disabled = 0;
    }
    uint32_t mark = windows_mark;
    windows_mark = 0;
    thread_windows_restore(mark);
}

// The texts may lie in the temporary buffer, which moves when the result is built.
static char* heap_copy(const char* text) {
    if (!text) return 0;
    size_t n = strlen(text);
    char* copy = (char*)HeapAlloc(object_heap, 0, n + 1);
    if (copy) memcpy(copy, text, n + 1);
    return copy;
}

static void heap_release(char* block) {
    if (block) HeapFree(object_heap, 0, block);
}

static void register_dialog_class(void) {
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_VREDRAW | CS_HREDRAW;
    window_class.lpfnWndProc = input_requester_procedure;
    window_class.hInstance = runtime_instance;
    window_class.hIcon = LoadIconA(runtime_instance, MAKEINTRESOURCEA(1));
    window_class.hCursor = LoadCursorA(0, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    window_class.lpszClassName = input_requester_class;
    RegisterClassExA(&window_class);
}

static HWND make_control(DWORD ex_style, const char* window_class, const char* text, DWORD style,
                         int x, int y, int width, int height, HWND dialog, int id) {
    HWND control = CreateWindowExA(ex_style, window_class, text, style, x, y, width, height, dialog,
                                   (HMENU)(intptr_t)id, runtime_instance, 0);
    if (control) SendMessageA(control, WM_SETFONT, (WPARAM)input_requester_state.font, 1);
    return control;
}

static void fill_dialog(HWND dialog, const char* prompt, const char* default_text, uint32_t flags) {
    InputRequesterState* state = &input_requester_state;
    state->prompt_control = make_control(0, "STATIC", prompt, 0x5000000B, 10, 10, 280, 22, dialog, 0);
    DWORD field_style = 0x50010080 | ((flags & INPUT_REQUESTER_PASSWORD) ? ES_PASSWORD : 0);
    state->input_control = make_control(WS_EX_CLIENTEDGE, "EDIT", 0, field_style, 10, 32, 275, 21,
                                        dialog, INPUT_REQUESTER_FIELD_ID);
    SetFocus(state->input_control);
    if (default_text && state->input_control) {
        SendMessageA(state->input_control, WM_SETTEXT, 0, (LPARAM)default_text);
        // The caret behind the text, nothing selected.
        LPARAM length = (LPARAM)strlen(default_text);
        SendMessageA(state->input_control, EM_SETSEL, (WPARAM)length, length);
    }
    state->ok_control = make_control(0, "BUTTON", "OK", 0x50010001, 110, 67, 80, 25, dialog,
                                     INPUT_REQUESTER_ACCEPT);
}

// Runs until the dialog is destroyed. A quit message that ends the loop first is given
// back to the thread's queue; the function then reports it with true.
static bool run_modal_loop(HWND dialog, HACCEL keys, WPARAM* quit_code) {
    MSG message;
    while (!input_requester_state.done) {
        BOOL got = GetMessageA(&message, 0, 0, 0);
        if (got == 0) {
            *quit_code = message.wParam;
            return true;
        }
        if (got == -1) return false;
        if (!TranslateAcceleratorA(dialog, keys, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return false;
}

static void deliver(char* text, int32_t position) {
    if (!text) {
        str_cut_at(position);
        return;
    }
    int32_t n = str_length(text);
    char* at = str_reserve(n, position);
    memcpy(at, text, (size_t)n + 1);
    heap_release(text);
}

void input_requester_ex(const char* title, const char* prompt, const char* default_text,
                        uint32_t flags, int32_t position) {
    if (InterlockedCompareExchange(&dialog_open, 1, 0) != 0) {
        str_cut_at(position);
        return;
    }
    InputRequesterState* state = &input_requester_state;
    char* title_copy = heap_copy(title);
    char* prompt_copy = heap_copy(prompt);
    char* default_copy = heap_copy(default_text);
    if (!state->font) state->font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    register_dialog_class();
    state->done = 0;

    windows_mark = thread_windows_disable();
    state->owner = requester_owner();
    state->owner_disabled = 0;
    if (state->owner && IsWindowEnabled(state->owner)) {
        EnableWindow(state->owner, FALSE);
        state->owner_disabled = 1;
    }

    char* answer = 0;
    HWND dialog = CreateWindowExA(0, input_requester_class, title_copy, 0x10C80000,
                                  GetSystemMetrics(SM_CXSCREEN) / 2 - 150,
                                  GetSystemMetrics(SM_CYSCREEN) / 2 - 65, 300, 130, requester_owner(),
                                  0, runtime_instance, 0);
    state->dialog = dialog;
    if (dialog) {
        SetWindowLongPtrA(dialog, GWLP_USERDATA, (LONG_PTR)&answer);
        fill_dialog(dialog, prompt_copy, default_copy, flags);
        ACCEL keys[2] = { { FVIRTKEY, VK_RETURN, INPUT_REQUESTER_ACCEPT },
                          { FVIRTKEY, VK_ESCAPE, INPUT_REQUESTER_CANCEL } };
        HACCEL table = CreateAcceleratorTableA(keys, 2);
        SetForegroundWindow(dialog);
        BringWindowToTop(dialog);
        WPARAM quit_code = 0;
        bool quit = run_modal_loop(dialog, table, &quit_code);
        if (!state->done) {
            // The loop ended with the dialog still open: close it as a cancel would, and
            // let the caller's loop see the quit message as well.
            input_requester_finish();
            DestroyWindow(dialog);
            heap_release(answer);
            answer = 0;
        }
        if (quit) PostQuitMessage((int)quit_code);
        if (table) DestroyAcceleratorTable(table);
    }
    // Also when the dialog went without its own handlers, with its owner for instance.
    input_requester_finish();
    // Not on WM_DESTROY: a class cannot go while a window of it still exists.
    UnregisterClassA(input_requester_class, runtime_instance);
    state->dialog = 0;
    deliver(answer, position);
    heap_release(title_copy);
    heap_release(prompt_copy);
    heap_release(default_copy);
    InterlockedExchange(&dialog_open, 0);
}

static void accept(HWND window) {
    char** slot = (char**)GetWindowLongPtrA(window, GWLP_USERDATA);
    HWND field = input_requester_state.input_control;
    int n = GetWindowTextLengthA(field);
    char* text = (char*)HeapAlloc(object_heap, 0, (SIZE_T)n + 1);
    if (text) {
        text[0] = 0;
        GetWindowTextA(field, text, n + 1);
    }
    if (slot) *slot = text;
    else heap_release(text);
}

LRESULT CALLBACK input_requester_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_DESTROY:
        input_requester_state.done = 1;
        return 0;
    case WM_CLOSE:
        input_requester_finish();
        DestroyWindow(window);
        return 0;
    case WM_COMMAND:
        // The windows are enabled again before the dialog goes, so that the owner
        // becomes active again.
        if (LOWORD(wparam) == INPUT_REQUESTER_ACCEPT) {
            accept(window);
            input_requester_finish();
            DestroyWindow(window);
        } else if (LOWORD(wparam) == INPUT_REQUESTER_CANCEL) {
            input_requester_finish();
            DestroyWindow(window);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
