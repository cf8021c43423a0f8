// The message requester and the modality both requesters share: the box shows its
// title, text and icon and is owned by the foreground window; the thread's other visible
// windows are disabled and lose their top-most place while a requester is open, and get
// exactly their state back afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "runtime/strings.h"
#include "tests/support/ui_automation.h"
#include "tests/support/ui_runtime.h"
#include "tests/support/win_heap_hooks.h"
#include "ui/messages.h"
#include "ui/requester_input.h"
#include "ui/requester_message.h"

namespace {

const DWORD WAIT_MS = 5000;

typedef DriverWindowTest Modality;

bool topmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// Entries of the list recorded by thread (the test's main thread unless given).
DWORD main_thread = GetCurrentThreadId();
int entries_of_thread(HWND window = 0, DWORD thread = main_thread) {
    int n = 0;
    for (DisabledWindowNode* node = disabled_windows; node; node = node->next)
        if (node->entry.thread_id == thread && (!window || node->entry.window == window)) n++;
    return n;
}

}  // namespace

TEST_F(Modality, TheMessageBoxShowsTitleTextAndInformationIcon) {
    int32_t answer = 0;
    HWND box = 0, owner = 0;
    std::string text;
    HICON icon = 0;
    bool owner_enabled = true;
    bool ended = ui_run_modal(
        [&] { answer = message_requester("Success!", "3 images in processed!", 64); },
        [&] {
            box = ui_find_window(GetCurrentProcessId(), "#32770", "Success!", WAIT_MS);
            if (!box) return;
            owner = GetWindow(box, GW_OWNER);
            owner_enabled = IsWindowEnabled(main_window);
            ui_wait_until([&] { return !ui_message_box_text(box).empty(); }, WAIT_MS);
            text = ui_message_box_text(box);
            icon = ui_message_box_icon(box);
            ui_dismiss_message_box(box);
        },
        WAIT_MS);
    EXPECT_TRUE(ended);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, "3 images in processed!");
    EXPECT_EQ(icon, LoadIconA(0, IDI_INFORMATION));
    EXPECT_EQ(owner, main_window);
    EXPECT_FALSE(owner_enabled);
    EXPECT_EQ(answer, IDOK);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_TRUE(IsWindowEnabled(main_window));
    EXPECT_EQ(entries_of_thread(), 0);
}

// The desktop's window, which another process owns, standing in as the foreground.
static HWND WINAPI desktop_in_front(void) { return GetDesktopWindow(); }

TEST_F(Modality, TheOwnerIsTheForegroundWindowOfThisProcessOnly) {
    EXPECT_EQ(requester_owner(), main_window);
    DWORD desktop_process = 0;
    GetWindowThreadProcessId(GetDesktopWindow(), &desktop_process);
    ASSERT_NE(desktop_process, GetCurrentProcessId());
    BYTE* module = (BYTE*)GetModuleHandleA(0);
    void* real = 0;
    ASSERT_TRUE(hook_import(module, "user32.dll", "GetForegroundWindow", (void*)desktop_in_front, &real));
    HWND owner = requester_owner();
    hook_import(module, "user32.dll", "GetForegroundWindow", real, &real);
    EXPECT_EQ(owner, nullptr);
}

namespace {

struct WindowState {
    bool enabled, topmost, listed;
};

WindowState state_of(HWND window) {
    return WindowState{ IsWindowEnabled(window) != 0, topmost(window), entries_of_thread(window) == 1 };
}

}  // namespace

TEST_F(Modality, EveryOtherVisibleWindowIsDisabledMeanwhileAndRestoredAfterwards) {
    struct Requester {
        const char* name;
        std::function<void()> show;
        const char* dialog_class;
        const char* title;
        std::function<void(HWND dialog)> dismiss;
    } requesters[] = {
        { "message requester", [] { message_requester("Success!", "1 images in processed!", 64); }, "#32770",
          "Success!", [](HWND box) { ui_dismiss_message_box(box); } },
        { "input requester",
          [] {
              int32_t start = string_end;
              input_requester("Width", "Enter of width", "", start);
              str_cut_at(start);
          },
          "InputRequester", "Width",
          [](HWND dialog) { ui_press_key(ui_find_child(dialog, "Edit", INPUT_REQUESTER_FIELD_ID), VK_ESCAPE); } },
    };
    for (const Requester& r : requesters) {
        window_close(-1);
        main_window = (HWND)window_open(0, WINDOW_IGNORE, WINDOW_IGNORE, 300, 200, "Vantorel", 1);
        HWND second = (HWND)window_open(1, 10, 10, 200, 100, "second", WINDOW_NO_ACTIVATION);
        HWND disabled = (HWND)window_open(2, 30, 30, 200, 100, "disabled", WINDOW_NO_ACTIVATION);
        HWND hidden = (HWND)window_open(3, 50, 50, 200, 100, "hidden", WINDOW_INVISIBLE);
        HWND on_top = (HWND)window_open(4, 70, 70, 200, 100, "on top", WINDOW_NO_ACTIVATION);
        ASSERT_TRUE(main_window && second && disabled && hidden && on_top) << r.name;
        EnableWindow(disabled, FALSE);
        SetWindowPos(on_top, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ASSERT_TRUE(topmost(on_top)) << r.name;
        SetForegroundWindow(main_window);
        ASSERT_EQ(GetForegroundWindow(), main_window) << r.name;

        WindowState during[5] = {};
        HWND windows[5] = { main_window, second, disabled, hidden, on_top };
        bool ended = ui_run_modal(r.show,
                                  [&] {
                                      HWND dialog = ui_find_window(GetCurrentProcessId(), r.dialog_class,
                                                                   r.title, WAIT_MS);
                                      if (!dialog) return;
                                      for (int i = 0; i < 5; i++) during[i] = state_of(windows[i]);
                                      r.dismiss(dialog);
                                  },
                                  WAIT_MS);
        EXPECT_TRUE(ended) << r.name;

        // Meanwhile: the owner is disabled by the box or the dialog, the other visible
        // windows by the library; the hidden one is left alone and not listed.
        EXPECT_FALSE(during[0].enabled) << r.name;
        EXPECT_TRUE(during[0].listed) << r.name;
        EXPECT_FALSE(during[1].enabled) << r.name;
        EXPECT_TRUE(during[1].listed) << r.name;
        EXPECT_FALSE(during[2].enabled) << r.name;
        EXPECT_TRUE(during[2].listed) << r.name;
        EXPECT_TRUE(during[3].enabled) << r.name;
        EXPECT_FALSE(during[3].listed) << r.name;
        EXPECT_FALSE(during[4].enabled) << r.name;
        EXPECT_FALSE(during[4].topmost) << r.name;
        EXPECT_TRUE(during[4].listed) << r.name;

        // Afterwards: exactly the state before.
        EXPECT_TRUE(IsWindowEnabled(main_window)) << r.name;
        EXPECT_TRUE(IsWindowEnabled(second)) << r.name;
        EXPECT_FALSE(IsWindowEnabled(disabled)) << r.name;
        EXPECT_TRUE(IsWindowEnabled(hidden)) << r.name;
        EXPECT_FALSE(IsWindowVisible(hidden)) << r.name;
        EXPECT_TRUE(IsWindowEnabled(on_top)) << r.name;
        EXPECT_TRUE(topmost(on_top)) << r.name << " " << std::hex << GetWindowLongA(on_top, GWL_EXSTYLE);
        EXPECT_EQ(entries_of_thread(), 0) << r.name;
    }
}

namespace {
// Set by the test: when window 1 is disabled, another thread disables and restores
// meanwhile, which it can only do if no lock is held across EnableWindow.
std::function<void()> while_second_disabled;
LRESULT on_enable(HWND, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_ENABLE && !wparam && while_second_disabled) {
        std::function<void()> once = std::move(while_second_disabled);
        while_second_disabled = nullptr;
        once();
    }
    return CALLBACK_CONTINUE;
}
}  // namespace

TEST_F(Modality, EachThreadAndEachNestedRequesterRestoresOnlyWhatItDisabled) {
    HWND second = (HWND)window_open(1, 10, 10, 200, 100, "second", WINDOW_NO_ACTIVATION);
    ASSERT_NE(second, nullptr);
    SetForegroundWindow(main_window);
    // Another thread with a window of its own disables and restores in between.
    HWND foreign = 0;
    std::atomic<bool> foreign_done(false);
    bool foreign_disabled = false, foreign_restored = false;
    std::thread other;
    while_second_disabled = [&] {
        other = std::thread([&] {
            foreign = CreateWindowExA(0, "PostEventClass", "foreign", WS_CAPTION, 0, 0, 100, 50, 0, 0,
                                      GetModuleHandleA(0), 0);
            ShowWindow(foreign, SW_SHOWNOACTIVATE);
            uint32_t mark = thread_windows_disable();
            foreign_disabled = !IsWindowEnabled(foreign);
            thread_windows_restore(mark);
            foreign_restored = IsWindowEnabled(foreign) != 0;
            DestroyWindow(foreign);
            foreign_done = true;
        });
        ui_wait_until([&] { return foreign_done.load(); }, WAIT_MS);
    };
    ui_window_record(1)->callback = on_enable;
    uint32_t outer = thread_windows_disable();
    EXPECT_TRUE(foreign_done) << "the other thread waited for this one's EnableWindow";
    if (other.joinable()) other.join();
    ui_window_record(1)->callback = 0;
    EXPECT_TRUE(foreign_disabled);
    EXPECT_TRUE(foreign_restored);
    // This thread's entries stayed through the other thread's restore.
    EXPECT_FALSE(IsWindowEnabled(second));
    EXPECT_EQ(entries_of_thread(second), 1);
    // A requester opened meanwhile (a message box over the input dialog) gives back only
    // what it changed itself.
    HWND third = (HWND)window_open(2, 30, 30, 200, 100, "third", WINDOW_NO_ACTIVATION);
    ASSERT_NE(third, nullptr);
    uint32_t inner = thread_windows_disable();
    EXPECT_FALSE(IsWindowEnabled(third));
    thread_windows_restore(inner);
    EXPECT_TRUE(IsWindowEnabled(third));
    EXPECT_FALSE(IsWindowEnabled(second)) << "the outer requester's to restore";
    EXPECT_EQ(entries_of_thread(second), 1);
    thread_windows_restore(outer);
    EXPECT_TRUE(IsWindowEnabled(second));
    EXPECT_EQ(disabled_windows, nullptr);
}
