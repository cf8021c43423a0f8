// Window objects: the driver's window, the style and position rules of window_open,
// centring, re-opening a number, hiding an owned window, closing every window.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/ui_runtime.h"

namespace {

// What window_open handed to CreateWindowExA, seen by a CBT hook. By then the system
// has placed a window asked for at the default position, and given every captioned
// window WS_EX_WINDOWEDGE, so x, y and that bit are not the caller's.
struct Creation {
    int count;
    DWORD style;
    DWORD ex_style;
    int x, y, cx, cy;
    HWND parent;
};
Creation created;

LRESULT CALLBACK watch_creation(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* cs = ((CBT_CREATEWNDA*)lparam)->lpcs;
        char name[64] = "";
        GetClassNameA((HWND)wparam, name, sizeof name);
        if (strncmp(name, "WindowClass_", 12) == 0) {
            created.count++;
            created.style = (DWORD)cs->style;
            created.ex_style = cs->dwExStyle & ~WS_EX_WINDOWEDGE;
            created.x = cs->x;
            created.y = cs->y;
            created.cx = cs->cx;
            created.cy = cs->cy;
            created.parent = cs->hwndParent;
        }
    }
    return CallNextHookEx(0, code, wparam, lparam);
}

SIZE client_size(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    return SIZE{ r.right - r.left, r.bottom - r.top };
}

RECT outer(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

std::string class_of(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool class_registered(int32_t number) {
    char name[32];
    snprintf(name, sizeof name, "WindowClass_%d", (int)number);
    WNDCLASSA info;
    return GetClassInfoA(GetModuleHandleA(0), name, &info) != 0;
}

const int SCREEN_W = GetSystemMetrics(SM_CXSCREEN);
const int SCREEN_H = GetSystemMetrics(SM_CYSCREEN);

class Windows : public testing::Test {
  protected:
    HHOOK hook;
    void SetUp() override {
        ui_runtime_start();
        window_close(-1);
        ui_event_queue_clear();
        created = Creation{};
        hook = SetWindowsHookExA(WH_CBT, watch_creation, 0, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook);
        window_close(-1);
        ui_event_queue_clear();
        map_clear(event_bindings);
    }
};

}  // namespace

TEST_F(Windows, TheDriversWindowIsCaptionedCentredShownAndActive) {
    intptr_t result = window_open(0, WINDOW_IGNORE, WINDOW_IGNORE, 300, 200, "Vantorel", 1);
    HWND window = (HWND)result;
    ASSERT_NE(window, nullptr);
    WindowObject* record = ui_window_record(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->handle, window);

    // Title bar only: no system menu, no frame or boxes, no extended style.
    EXPECT_EQ(created.style, (DWORD)WS_CAPTION);
    EXPECT_EQ(created.ex_style, 0u);
    DWORD style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, (DWORD)WS_CAPTION);
    EXPECT_EQ(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);

    SIZE client = client_size(window);
    EXPECT_EQ(client.cx, 300);
    EXPECT_EQ(client.cy, 200);
    RECT r = outer(window);
    EXPECT_EQ(r.left, (SCREEN_W - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (SCREEN_H - (r.bottom - r.top)) / 2);

    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetForegroundWindow(), window);

    char title[32] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "Vantorel");
    EXPECT_EQ(class_of(window), "WindowClass_0");
    EXPECT_EQ((intptr_t)GetPropA(window, "ZK_WindowID"), 1);
    EXPECT_EQ(record->minimized_or_maximized, 0);
    EXPECT_EQ(record->mdi_client, nullptr);
    EXPECT_EQ(record->callback, nullptr);

    // Tab and Shift+Tab, in the record and in the table built from it.
    ASSERT_EQ(record->accelerator_count, 2);
    ACCEL table[4];
    ASSERT_EQ(CopyAcceleratorTableA(record->accelerator_table, table, 4), 2);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(table[i].key, VK_TAB);
        EXPECT_EQ(table[i].fVirt & ~0x80, record->accelerator_entries[i].fVirt);  // 0x80: end of table
    }
    EXPECT_EQ(table[0].fVirt & 0x7F, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(table[0].cmd, 64001);
    EXPECT_EQ(table[1].fVirt & 0x7F, FVIRTKEY | FNOINVERT | FSHIFT);
    EXPECT_EQ(table[1].cmd, 64002);
}

TEST_F(Windows, AnIgnoredCoordinateGivesTheSystemsDefaultPosition) {
    // Where the system puts a window of the same kind that asks for the default position.
    HWND reference = CreateWindowExA(0, "PostEventClass", "", WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT,
                                     200, 100, 0, 0, GetModuleHandleA(0), 0);
    ASSERT_NE(reference, nullptr);
    RECT system_place = outer(reference);
    DestroyWindow(reference);

    struct Case { int32_t x, y; uint32_t flags; bool system_places; } cases[] = {
        { WINDOW_IGNORE, 120, 0, true },
        { 40, WINDOW_IGNORE, 0, true },
        { WINDOW_IGNORE, WINDOW_IGNORE, 0, true },
        { 40, 120, 0, false },
        { 0, 0, 0, false },
    };
    for (const Case& c : cases) {
        HWND window = (HWND)window_open(1, c.x, c.y, 200, 100, "position", c.flags);
        ASSERT_NE(window, nullptr);
        RECT r = outer(window);
        POINT expected = c.system_places ? POINT{ system_place.left, system_place.top } : POINT{ c.x, c.y };
        EXPECT_EQ(r.left, expected.x) << c.x << "," << c.y;
        EXPECT_EQ(r.top, expected.y) << c.x << "," << c.y;
    }
    // With a centring bit an ignored y alone is passed on, and the centring replaces it.
    for (uint32_t flags : { (uint32_t)WINDOW_CENTRE_SCREEN, (uint32_t)WINDOW_CENTRE_PARENT }) {
        HWND window = (HWND)window_open(1, 40, WINDOW_IGNORE, 200, 100, "centred", flags);
        ASSERT_NE(window, nullptr);
        RECT r = outer(window);
        EXPECT_GE(r.top, 0) << flags;
        EXPECT_NE(r.left, 40) << flags;
    }
}

TEST_F(Windows, CentringNeverGivesANegativeCoordinate) {
    // Larger than the screen on both axes, centred on the screen: 0 on each.
    HWND big = (HWND)window_open(1, 0, 0, SCREEN_W + 400, SCREEN_H + 300, "big", WINDOW_CENTRE_SCREEN);
    ASSERT_NE(big, nullptr);
    RECT r = outer(big);
    EXPECT_GE(r.right - r.left, SCREEN_W);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);

    // Wider than the screen only: 0 across, centred down.
    HWND wide = (HWND)window_open(2, 0, 0, SCREEN_W + 400, 100, "wide", WINDOW_CENTRE_SCREEN);
    ASSERT_NE(wide, nullptr);
    r = outer(wide);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, (SCREEN_H - (r.bottom - r.top)) / 2);

    // On a small reference near the corner: clamped at 0.
    HWND small = (HWND)window_open(3, 10, 10, 100, 60, "small", 0);
    ASSERT_NE(small, nullptr);
    HWND around_small = (HWND)window_open(4, 0, 0, 600, 400, "centred", WINDOW_CENTRE_PARENT, small);
    ASSERT_NE(around_small, nullptr);
    EXPECT_EQ(created.parent, small);
    r = outer(around_small);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);

    // On a larger reference: the middles meet.
    HWND large = (HWND)window_open(5, 100, 80, 500, 400, "large", 0);
    ASSERT_NE(large, nullptr);
    HWND inside = (HWND)window_open(6, 0, 0, 120, 90, "inside", WINDOW_CENTRE_PARENT, large);
    ASSERT_NE(inside, nullptr);
    RECT ref = outer(large);
    r = outer(inside);
    EXPECT_EQ(r.left, ref.left + ((ref.right - ref.left) - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, ref.top + ((ref.bottom - ref.top) - (r.bottom - r.top)) / 2);

    // Without a reference: the active window serves.
    SetActiveWindow(large);
    ASSERT_EQ(GetActiveWindow(), large);
    HWND on_active = (HWND)window_open(7, 0, 0, 120, 90, "on active", WINDOW_CENTRE_PARENT);
    ASSERT_NE(on_active, nullptr);
    r = outer(on_active);
    EXPECT_EQ(r.left, ref.left + ((ref.right - ref.left) - (r.right - r.left)) / 2);
}

TEST_F(Windows, FlagsChooseStyleVisibilityAndShowState) {
    struct Case {
        const char* name;
        uint32_t flags;
        DWORD style;     // as handed to the system
        DWORD ex_style;
        bool visible, iconic, zoomed, client_exact;
    } cases[] = {
        { "flags 0", 0, WS_CAPTION, 0, true, false, false, true },
        { "invisible", 0x10000000, WS_CAPTION, 0, false, false, false, true },
        { "centred invisible", 0x10000001, WS_CAPTION, 0, false, false, false, true },
        // The system gives every overlapped window a caption; the library gave none.
        { "system menu only", 0x00080000, WS_SYSMENU, 0, true, false, false, false },
        { "not the gadget list", 0x8, WS_CAPTION, 0, true, false, false, true },
        { "frame and boxes", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
          WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0, true, false, false, true },
        { "maximised", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WINDOW_MAXIMIZED,
          WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZE, 0, true, false, true, false },
        { "minimised", WS_CAPTION | WS_SYSMENU | WINDOW_MINIMIZED, WS_CAPTION | WS_SYSMENU | WS_MINIMIZE, 0,
          true, true, false, false },
        { "tool window drops boxes and states", 0x4 | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WINDOW_MAXIMIZED,
          WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW, true, false, false, true },
        { "no activation", WS_CAPTION | WINDOW_NO_ACTIVATION, WS_CAPTION, 0, true, false, false, true },
    };
    for (const Case& c : cases) {
        created = Creation{};
        HWND window = (HWND)window_open(1, 50, 50, 300, 200, "flags", c.flags);
        ASSERT_NE(window, nullptr) << c.name;
        EXPECT_EQ(created.style, c.style) << c.name;
        EXPECT_EQ(created.ex_style, c.ex_style) << c.name;
        EXPECT_EQ(IsWindowVisible(window) != 0, c.visible) << c.name;
        EXPECT_EQ(IsIconic(window) != 0, c.iconic) << c.name;
        EXPECT_EQ(IsZoomed(window) != 0, c.zoomed) << c.name;
        EXPECT_EQ(ui_window_record(1)->minimized_or_maximized != 0, c.iconic || c.zoomed) << c.name;
        if (c.client_exact) {
            SIZE client = client_size(window);
            EXPECT_EQ(client.cx, 300) << c.name;
            EXPECT_EQ(client.cy, 200) << c.name;
        }
    }
}

TEST_F(Windows, ShowingWithoutActivationLeavesTheActiveWindow) {
    HWND first = (HWND)window_open(1, 20, 20, 200, 100, "first", 0);
    ASSERT_EQ(GetActiveWindow(), first);
    HWND quiet = (HWND)window_open(2, 60, 60, 200, 100, "quiet", WINDOW_NO_ACTIVATION);
    ASSERT_NE(quiet, nullptr);
    EXPECT_TRUE(IsWindowVisible(quiet));
    EXPECT_EQ(GetActiveWindow(), first);
}

TEST_F(Windows, ReopeningANumberClosesTheOldWindowAndItsClass) {
    HWND old = (HWND)window_open(5, 10, 10, 200, 100, "old", 0);
    ASSERT_NE(old, nullptr);
    WindowObject* record = ui_window_record(5);
    // Mark the old class: a class that survived would hand the mark to the new window.
    SetClassLongPtrA(old, GCLP_HBRBACKGROUND, (LONG_PTR)GetStockObject(BLACK_BRUSH));
    HWND fresh = (HWND)window_open(5, 10, 10, 200, 100, "new", 0);
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(GetClassLongPtrA(fresh, GCLP_HBRBACKGROUND), (ULONG_PTR)(COLOR_BTNFACE + 1));
    EXPECT_EQ(ui_window_record(5), record);
    EXPECT_EQ(record->handle, fresh);
    EXPECT_EQ(class_of(fresh), "WindowClass_5");
}

TEST_F(Windows, AnAutomaticNumberIsTheRecordsIdentity) {
    intptr_t number = window_open(-1, 10, 10, 200, 100, "auto", 0);
    ASSERT_NE(number, 0);
    WindowObject* record = ui_window_record((int32_t)number);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(registry_identity(record), (int32_t)number);
    EXPECT_EQ((intptr_t)GetPropA(record->handle, "ZK_WindowID"), number + 1);
    EXPECT_EQ(class_of(record->handle), "WindowClass_" + std::to_string(number));
    HWND handle = record->handle;
    EXPECT_EQ(window_close((int32_t)number), 1);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(class_registered((int32_t)number));
}

TEST_F(Windows, AWindowThatCannotBeCreatedLeavesNothing) {
    // A parent that is no window makes the creation fail.
    EXPECT_EQ(window_open(6, 0, 0, 100, 100, "orphan", 0, (HWND)(intptr_t)0x7FFF0), 0);
    EXPECT_EQ(ui_window_record(6), nullptr);
    EXPECT_FALSE(class_registered(6));
}

TEST_F(Windows, HidingAnOwnedWindowActivatesItsOwner) {
    HWND owner = (HWND)window_open(1, 10, 10, 300, 200, "owner", 0);
    HWND owned = (HWND)window_open(2, 50, 50, 200, 100, "owned", 0, owner);
    ASSERT_TRUE(owner && owned);
    ASSERT_EQ(GetWindow(owned, GW_OWNER), owner);
    ASSERT_EQ(GetActiveWindow(), owned);
    window_hide(2, 1);
    EXPECT_FALSE(IsWindowVisible(owned));
    EXPECT_EQ(GetActiveWindow(), owner);

    // Showing again: shown normal and active, or kept inactive with 0x02000000.
    window_hide(2, 0, WINDOW_NO_ACTIVATION);
    EXPECT_TRUE(IsWindowVisible(owned));
    EXPECT_EQ(GetActiveWindow(), owner);
    window_hide(2, 1);
    window_hide(2, 0);
    EXPECT_TRUE(IsWindowVisible(owned));
    EXPECT_EQ(GetActiveWindow(), owned);

    EXPECT_EQ(window_hide(77, 1), 0);
    EXPECT_EQ(window_hide(77, 0), 0);
}

TEST_F(Windows, ClosingEveryWindowLeavesNoEventAndNoBindingOfThem) {
    HWND three = (HWND)window_open(3, 0, 0, 100, 100, "three", WINDOW_INVISIBLE);
    HWND four = (HWND)window_open(4, 0, 0, 100, 100, "four", WINDOW_INVISIBLE);
    ASSERT_TRUE(three && four);
    ui_event_queue_clear();
    event_post(70000, 0, 3, 0);
    event_post(70000, 0, 9, 0);
    event_post(70000, 0, 4, 0);
    event_post(70000, 0, 3, 0);
    auto nothing = [] {};
    ASSERT_TRUE(ui_event_bind(13116, 3, -1, -1, nothing));
    ASSERT_TRUE(ui_event_bind(13116, 4, 0, 0, nothing));
    ASSERT_TRUE(ui_event_bind(13116, 9, -1, -1, nothing));

    EXPECT_EQ(window_close(-1), 1);
    EXPECT_FALSE(IsWindow(three));
    EXPECT_FALSE(IsWindow(four));
    EXPECT_EQ(ui_window_record(3), nullptr);
    EXPECT_EQ(ui_window_record(4), nullptr);
    EXPECT_FALSE(class_registered(3));
    EXPECT_FALSE(class_registered(4));
    for (const EventRecord& r : ui_event_queue()) {
        EXPECT_NE(r.window, 3);
        EXPECT_NE(r.window, 4);
    }
    EXPECT_EQ(ui_event_codes(9), (std::vector<int32_t>{ 70000 }));
    EXPECT_EQ(ui_event_bindings_of(3), 0);
    EXPECT_EQ(ui_event_bindings_of(4), 0);
    EXPECT_EQ(ui_event_bindings_of(9), 1);
    EXPECT_EQ(window_close(3), 0);
}

TEST_F(Windows, ClosingReleasesTheBrushAndAnOwnersActivation) {
    HWND owner = (HWND)window_open(1, 10, 10, 300, 200, "owner", 0);
    HWND owned = (HWND)window_open(2, 50, 50, 200, 100, "owned", 0, owner);
    ASSERT_TRUE(owner && owned);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    ui_window_record(2)->background_brush = brush;
    EXPECT_EQ(window_close(2), 1);
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_TRUE(IsWindow(owner));
}
