// The window procedure, driven with real messages: the events it posts, callbacks,
// the size sequences, Tab navigation across real controls, focus kept across
// deactivation, tracking limits and control notifications.
#include <gtest/gtest.h>

#include "tests/support/ui_runtime.h"
#include "ui/window_procedure.h"

namespace {

class Procedure : public DriverWindowTest {
  protected:
    HWND window;
    void SetUp() override {
        DriverWindowTest::SetUp();
        window = main_window;
        ui_event_queue_clear();
    }
    void TearDown() override {
        window_library_state->global_callback = 0;
        DriverWindowTest::TearDown();
    }
};

bool has_event(int32_t event, int32_t object, int32_t window, int32_t type) {
    for (const EventRecord& r : ui_event_queue())
        if (r.event == event && r.object == object && r.window == window && r.type == type) return true;
    return false;
}

std::vector<int32_t> size_events(int32_t window) {
    std::vector<int32_t> codes;
    for (int32_t code : ui_event_codes(window))
        if (code == event_minimized || code == event_maximized || code == event_restored || code == event_resized)
            codes.push_back(code);
    return codes;
}

HWND make_child(HWND parent, const char* window_class, DWORD style, int id) {
    return CreateWindowExA(0, window_class, "", WS_CHILD | style, 0, id * 10, 50, 20, parent,
                           (HMENU)(intptr_t)id, GetModuleHandleA(0), 0);
}

LRESULT continue_always(HWND, UINT, WPARAM, LPARAM) { return CALLBACK_CONTINUE; }
LRESULT swallow_close(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_CLOSE ? 0 : CALLBACK_CONTINUE;
}
LRESULT answer_close(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_CLOSE ? 42 : CALLBACK_CONTINUE;
}

}  // namespace

TEST_F(Procedure, MoveAndCloseRequestOfWindow3CarryItsNumberAndTheWindowStays) {
    HWND third = (HWND)window_open(3, 10, 10, 200, 100, "third", WINDOW_NO_ACTIVATION);
    ui_event_queue_clear();
    EXPECT_EQ(SendMessageA(third, WM_MOVE, 0, MAKELPARAM(5, 6)), 0);
    EXPECT_EQ(SendMessageA(third, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(third));
    std::vector<EventRecord> queue = ui_event_queue();
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(ui_event_fields(queue[0]), EventFields(event_moved, 3, 3, 0, 0, 0));
    EXPECT_EQ(ui_event_fields(queue[1]), EventFields(event_close_request, 3, 3, 0, 0, 0));
}

TEST_F(Procedure, CallbacksAnswerFirst) {
    struct Case {
        const char* name;
        WindowCallback own, global;
        LRESULT result;
        bool close_request;
    } cases[] = {
        { "no callback", 0, 0, 0, true },
        { "own callback continuing", continue_always, 0, 0, true },
        { "own callback answering 0", swallow_close, 0, 0, false },
        { "own callback's answer is the result", answer_close, 0, 42, false },
        { "global callback for a window without one", 0, swallow_close, 0, false },
        { "own callback before the global one", continue_always, swallow_close, 0, true },
    };
    for (const Case& c : cases) {
        ui_window_record(0)->callback = c.own;
        window_library_state->global_callback = c.global;
        ui_event_queue_clear();
        EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), c.result) << c.name;
        EXPECT_EQ(has_event(event_close_request, 0, 0, 0), c.close_request) << c.name;
        EXPECT_TRUE(IsWindow(window)) << c.name;
    }
    ui_window_record(0)->callback = 0;
}

TEST_F(Procedure, MessagesBecomeEvents) {
    struct Case {
        const char* name;
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        LRESULT result;
        int32_t event, object, type;
    } cases[] = {
        { "timer", WM_TIMER, 17, 0, 0, event_timer, 17, 0 },
        { "left click", WM_LBUTTONUP, 0, 0, 0, event_left_click, 0, 0 },
        { "double click", WM_LBUTTONDBLCLK, 0, 0, 0, event_left_double_click, 0, 0 },
        { "right click", WM_RBUTTONUP, 0, 0, 0, event_right_click, 0, 0 },
        { "menu", WM_COMMAND, 77, 0, 0, event_menu, 77, 0 },
        { "accelerator", WM_COMMAND, MAKEWPARAM(500, 1), 0, 0, event_menu, 500, 0 },
        { "tray left", WINDOW_TRAY_MESSAGE, 9, WM_LBUTTONDOWN, 0, event_tray_icon, 9, 0 },
        { "tray right", WINDOW_TRAY_MESSAGE, 9, WM_RBUTTONDOWN, 0, event_tray_icon, 9, 1 },
        { "tray left double", WINDOW_TRAY_MESSAGE, 9, WM_LBUTTONDBLCLK, 0, event_tray_icon, 9, 2 },
        { "tray right double", WINDOW_TRAY_MESSAGE, 9, WM_RBUTTONDBLCLK, 0, event_tray_icon, 9, 3 },
    };
    for (const Case& c : cases) {
        ui_event_queue_clear();
        EXPECT_EQ(SendMessageA(window, c.message, c.wparam, c.lparam), c.result) << c.name;
        std::vector<EventRecord> queue = ui_event_queue();
        ASSERT_EQ(queue.size(), 1u) << c.name;
        EXPECT_EQ(ui_event_fields(queue[0]), EventFields(c.event, c.object, 0, c.type, 0, 0)) << c.name;
    }
    // Another tray action posts nothing.
    ui_event_queue_clear();
    SendMessageA(window, WINDOW_TRAY_MESSAGE, 9, WM_MOUSEMOVE);
    EXPECT_TRUE(ui_event_queue().empty());
}

TEST_F(Procedure, ControlNotificationsReportTheControl) {
    HWND menu_button = make_child(window, "BUTTON", WS_VISIBLE, WINDOW_MENU_CONTROL_ID);
    HWND button = make_child(window, "BUTTON", WS_VISIBLE, 42);
    ASSERT_TRUE(menu_button && button);
    ui_event_queue_clear();
    SendMessageA(menu_button, BM_CLICK, 0, 0);
    EXPECT_TRUE(has_event(event_menu, LOWORD(WINDOW_MENU_CONTROL_ID), 0, 0));
    EXPECT_FALSE(has_event(event_control, WINDOW_MENU_CONTROL_ID, 0, BN_CLICKED));
    ui_event_queue_clear();
    SendMessageA(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(has_event(event_control, 42, 0, BN_CLICKED));
    ui_event_queue_clear();
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(42, EN_CHANGE), (LPARAM)button);
    EXPECT_TRUE(has_event(event_control, 42, 0, EN_CHANGE));
}

TEST_F(Procedure, SizeChangesPostTheirSequences) {
    ASSERT_TRUE(SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | WS_THICKFRAME |
                                                      WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_SYSMENU));
    struct Step { const char* name; int show; std::vector<int32_t> events; bool flag; } steps[] = {
        { "minimise", SW_MINIMIZE, { event_minimized }, true },
        { "restore from minimised", SW_RESTORE, { event_restored, event_resized }, false },
        { "maximise", SW_MAXIMIZE, { event_maximized, event_resized }, true },
        { "restore from maximised", SW_RESTORE, { event_restored, event_resized }, false },
        { "plain resize", -1, { event_resized }, false },
    };
    for (const Step& s : steps) {
        ui_event_queue_clear();
        if (s.show >= 0) ShowWindow(window, s.show);
        else SetWindowPos(window, 0, 0, 0, 420, 330, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(size_events(0), s.events) << s.name;
        EXPECT_EQ(ui_window_record(0)->minimized_or_maximized != 0, s.flag) << s.name;
    }
    // A size message for another window of the chain: answered 1, nothing posted.
    HWND child = make_child(window, "STATIC", WS_VISIBLE, 3);
    ui_event_queue_clear();
    EXPECT_EQ(window_handle_message(child, WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10)), 1);
    EXPECT_TRUE(ui_event_queue().empty());
}

namespace {

void press_tab(HWND window, bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG message = {};
    message.hwnd = GetFocus();
    message.message = WM_KEYDOWN;
    message.wParam = VK_TAB;
    message.lParam = 1 | (MapVirtualKeyA(VK_TAB, 0) << 16);
    TranslateAcceleratorA(window, ui_window_record(0)->accelerator_table, &message);
    keys[VK_SHIFT] = saved;
    SetKeyboardState(keys);
}

}  // namespace

TEST_F(Procedure, TabAndShiftTabWrapAcrossTheTabStops) {
    HWND first = make_child(window, "EDIT", WS_VISIBLE | WS_TABSTOP, 1);
    make_child(window, "STATIC", WS_VISIBLE, 2);                        // no tab stop
    HWND second = make_child(window, "BUTTON", WS_VISIBLE | WS_TABSTOP, 3);
    make_child(window, "EDIT", WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 4);  // disabled
    make_child(window, "EDIT", WS_TABSTOP, 5);                          // hidden
    HWND last = make_child(window, "EDIT", WS_VISIBLE | WS_TABSTOP, 6);
    ASSERT_TRUE(first && second && last);
    ASSERT_EQ(GetActiveWindow(), window);

    struct Case { const char* name; HWND from; bool shift; HWND to; } cases[] = {
        { "Tab goes on", first, false, second },
        { "Tab skips what cannot take the focus", second, false, last },
        { "Tab from the last wraps to the first", last, false, first },
        { "Shift+Tab goes back", last, true, second },
        { "Shift+Tab skips back", second, true, first },
        { "Shift+Tab from the first wraps to the last", first, true, last },
        { "Tab with the focus outside the controls", window, false, first },
        { "Shift+Tab with the focus outside the controls", window, true, last },
    };
    for (const Case& c : cases) {
        SetFocus(c.from);
        ASSERT_EQ(GetFocus(), c.from) << c.name;
        ui_event_queue_clear();
        press_tab(window, c.shift);
        EXPECT_EQ(GetFocus(), c.to) << c.name;
        // The accelerators move the focus and post nothing of their own.
        EXPECT_FALSE(has_event(event_menu, c.shift ? WINDOW_TAB_PREVIOUS : WINDOW_TAB_NEXT, 0, 0)) << c.name;
    }
}

namespace {
WPARAM ui_state_change;
LRESULT watch_ui_state(HWND, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_UPDATEUISTATE) ui_state_change = wparam;
    return CALLBACK_CONTINUE;
}
}  // namespace

TEST_F(Procedure, TheFocusComesBackAfterDeactivation) {
    HWND first = make_child(window, "EDIT", WS_VISIBLE | WS_TABSTOP, 1);
    HWND second = make_child(window, "EDIT", WS_VISIBLE | WS_TABSTOP, 2);
    ASSERT_TRUE(first && second);
    HWND other = (HWND)window_open(1, 10, 10, 200, 100, "other", WINDOW_NOT_GADGET_LIST);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(window);
    ASSERT_EQ(GetActiveWindow(), window);
    SetFocus(second);

    ui_event_queue_clear();
    ui_window_record(0)->callback = watch_ui_state;
    ui_state_change = 0;
    SetForegroundWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
    EXPECT_EQ((HWND)GetPropA(window, "ZK_Focus"), second);
    EXPECT_TRUE(has_event(event_deactivated, 0, 0, 0));
    // Focus rectangles and keyboard cues hidden on the way out.
    EXPECT_EQ(ui_state_change, (WPARAM)MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL));

    SetFocus(other);
    ui_event_queue_clear();
    SetForegroundWindow(window);
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_TRUE(has_event(event_activated, 0, 0, 0));

    // A kept handle that names no control of this window by now (a handle used again)
    // takes nothing: the focus must not wander into another window.
    HWND foreign = make_child(other, "EDIT", WS_VISIBLE | WS_TABSTOP, 9);
    ASSERT_NE(foreign, nullptr);
    SetForegroundWindow(other);
    SetPropA(window, "ZK_Focus", (HANDLE)foreign);
    SetForegroundWindow(window);
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_NE(GetFocus(), foreign);
    ui_window_record(0)->callback = 0;
}

TEST_F(Procedure, TrackingLimitsAndTheToolWindowsMinimumWidth) {
    HWND tool = (HWND)window_open(1, 10, 10, 200, 100, "tool", WINDOW_TOOL | WINDOW_NOT_GADGET_LIST);
    ASSERT_NE(tool, nullptr);
    struct Case {
        const char* name;
        HWND target;
        int32_t number;
        uint16_t min_w, min_h, max_w, max_h;
        POINT min, max;
    } cases[] = {
        { "plain window without limits", window, 0, 0, 0, 0, 0, { 100, 50 }, { 800, 600 } },
        { "tool window without limits", tool, 1, 0, 0, 0, 0, { 1, 50 }, { 800, 600 } },
        { "all four limits", window, 0, 120, 90, 640, 480, { 120, 90 }, { 640, 480 } },
        { "tool window with a minimum width", tool, 1, 150, 0, 0, 0, { 150, 50 }, { 800, 600 } },
    };
    for (const Case& c : cases) {
        WindowObject* record = ui_window_record(c.number);
        record->min_width = c.min_w;
        record->min_height = c.min_h;
        record->max_width = c.max_w;
        record->max_height = c.max_h;
        MINMAXINFO info = {};
        info.ptMinTrackSize = POINT{ 100, 50 };
        info.ptMaxTrackSize = POINT{ 800, 600 };
        EXPECT_EQ(SendMessageA(c.target, WM_GETMINMAXINFO, 0, (LPARAM)&info), 0) << c.name;
        EXPECT_EQ(info.ptMinTrackSize.x, c.min.x) << c.name;
        EXPECT_EQ(info.ptMinTrackSize.y, c.min.y) << c.name;
        EXPECT_EQ(info.ptMaxTrackSize.x, c.max.x) << c.name;
        EXPECT_EQ(info.ptMaxTrackSize.y, c.max.y) << c.name;
        record->min_width = record->min_height = record->max_width = record->max_height = 0;
    }
}

namespace {
LRESULT paint_seven(HDC, HWND) { return 7; }
}  // namespace

TEST_F(Procedure, BackgroundFromTheBrushOrThePainter) {
    HDC screen = GetDC(0);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 300);
    ReleaseDC(0, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    WindowObject* record = ui_window_record(0);

    record->background_brush = CreateSolidBrush(RGB(255, 0, 0));
    EXPECT_EQ(SendMessageA(window, WM_ERASEBKGND, (WPARAM)dc, 0), 1);
    EXPECT_EQ(GetPixel(dc, 299, 199) & 0xFFFFFF, RGB(255, 0, 0));
    EXPECT_TRUE(has_event(event_repaint, 0, 0, 0));
    DeleteObject(record->background_brush);
    record->background_brush = 0;

    record->background_painter = paint_seven;
    EXPECT_EQ(SendMessageA(window, WM_ERASEBKGND, (WPARAM)dc, 0), 7);
    record->background_painter = 0;

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(Procedure, EventsBeforeTheNumberCarryWindowMinusOne) {
    window_close(-1);
    ui_event_queue_clear();
    HWND fresh = (HWND)window_open(2, 10, 10, 200, 100, "fresh", 0);
    ASSERT_NE(fresh, nullptr);
    // Activated while being shown, before the number was set: no number yet, and the
    // size messages of that time posted nothing.
    EXPECT_TRUE(has_event(event_activated, 0, -1, 0));
    EXPECT_TRUE(size_events(-1).empty());
    EXPECT_TRUE(size_events(2).empty());
}
