// UI automation through window messages: posted actions, reads through
// SendMessageTimeout, polling waits with deadlines.
#include "tests/support/ui_automation.h"

#include "tests/support/wait_scale.h"

#include <atomic>
#include <thread>
#include <vector>

static const UINT READ_TIMEOUT_MS = 2000;

bool ui_wait_until(const std::function<bool()>& condition, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    DWORD limit = test_wait_ms(timeout_ms);
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= limit) return false;
        Sleep(10);
    }
}

std::string ui_class_of(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string ui_window_text(HWND window) {
    char text[1024] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG,
                             test_wait_ms(READ_TIMEOUT_MS), &copied))
        return "";
    return std::string(text, copied < sizeof text ? copied : sizeof text - 1);
}

namespace {

bool matches(HWND window, const char* class_name, const char* title) {
    if (class_name && lstrcmpiA(ui_class_of(window).c_str(), class_name) != 0) return false;
    if (title && ui_window_text(window) != title) return false;
    return true;
}

struct ProcessWindows {
    DWORD process_id;
    std::vector<HWND> found;
};

BOOL CALLBACK visit_top_level(HWND window, LPARAM state) {
    ProcessWindows* windows = (ProcessWindows*)state;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == windows->process_id && IsWindowVisible(window)) windows->found.push_back(window);
    return TRUE;
}

struct ChildSearch {
    const char* class_name;
    int id;
    HWND found;
};

BOOL CALLBACK visit_child(HWND window, LPARAM state) {
    ChildSearch* search = (ChildSearch*)state;
    if (search->id != -1 && GetDlgCtrlID(window) != search->id) return TRUE;
    if (!matches(window, search->class_name, 0)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

std::vector<HWND> ui_process_windows(DWORD process_id) {
    ProcessWindows windows = { process_id, {} };
    EnumWindows(visit_top_level, (LPARAM)&windows);
    return windows.found;
}

HWND ui_find_window(DWORD process_id, const char* class_name, const char* title, DWORD timeout_ms) {
    HWND found = 0;
    ui_wait_until([&] {
        for (HWND window : ui_process_windows(process_id)) {
            if (!matches(window, class_name, title)) continue;
            found = window;
            return true;
        }
        return false;
    }, timeout_ms);
    return found;
}

HWND ui_find_child(HWND window, const char* class_name, int id) {
    ChildSearch search = { class_name, id, 0 };
    EnumChildWindows(window, visit_child, (LPARAM)&search);
    return search.found;
}

bool ui_wait_gone(HWND window, DWORD timeout_ms) {
    return ui_wait_until([&] { return !IsWindow(window); }, timeout_ms);
}

HWND ui_focus_of(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, 0), &info)) return 0;
    return info.hwndFocus;
}

void ui_type_text(HWND control, const char* text) {
    for (const char* c = text; *c; c++) PostMessageA(control, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
}

void ui_press_key(HWND control, UINT key) {
    LPARAM scan = (LPARAM)MapVirtualKeyA(key, 0) << 16;
    PostMessageA(control, WM_KEYDOWN, key, scan | 1);
    PostMessageA(control, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
}

void ui_click_button(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void ui_close_box(HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

namespace {

struct StaticTexts {
    std::string text;
    HICON icon;
};

BOOL CALLBACK visit_static(HWND window, LPARAM state) {
    StaticTexts* texts = (StaticTexts*)state;
    if (lstrcmpiA(ui_class_of(window).c_str(), "Static") != 0) return TRUE;
    if ((GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        DWORD_PTR icon = 0;
        SendMessageTimeoutA(window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                            test_wait_ms(READ_TIMEOUT_MS), &icon);
        if (icon) texts->icon = (HICON)icon;
        return TRUE;
    }
    std::string text = ui_window_text(window);
    if (text.empty()) return TRUE;
    if (!texts->text.empty()) texts->text += "\n";
    texts->text += text;
    return TRUE;
}

BOOL CALLBACK visit_button(HWND window, LPARAM state) {
    if (lstrcmpiA(ui_class_of(window).c_str(), "Button") != 0 || !IsWindowVisible(window)) return TRUE;
    *(HWND*)state = window;
    return FALSE;
}

}  // namespace

std::string ui_message_box_text(HWND box) {
    StaticTexts texts = { "", 0 };
    EnumChildWindows(box, visit_static, (LPARAM)&texts);
    return texts.text;
}

HICON ui_message_box_icon(HWND box) {
    StaticTexts texts = { "", 0 };
    EnumChildWindows(box, visit_static, (LPARAM)&texts);
    return texts.icon;
}

bool ui_dismiss_message_box(HWND box) {
    HWND button = 0;
    EnumChildWindows(box, visit_button, (LPARAM)&button);
    if (!button) return false;
    ui_click_button(button);
    return true;
}

bool ui_run_modal(const std::function<void()>& modal, const std::function<void()>& script,
                  DWORD timeout_ms) {
    DWORD caller = GetCurrentThreadId();
    std::atomic<bool> returned(false);
    std::atomic<bool> quit_posted(false);
    std::thread helper([&] {
        script();
        if (!ui_wait_until([&] { return returned.load(); }, timeout_ms)) {
            PostThreadMessageA(caller, WM_QUIT, 0, 0);
            quit_posted = true;
        }
    });
    modal();
    returned = true;
    helper.join();
    if (!quit_posted) return true;
    MSG message;
    while (PeekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return false;
}
