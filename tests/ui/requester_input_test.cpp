// The input requester, driven the way a person does from a helper thread: typing into
// the field, Enter, the OK button, Escape, the close box; its layout and font, the
// password field, the result at the caller's position, a quit message during the dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "runtime/strings.h"
#include "tests/support/heap_faults.h"
#include "tests/support/ui_automation.h"
#include "tests/support/ui_runtime.h"
#include "ui/requester_input.h"
#include "ui/messages.h"
#include "ui/requester_message.h"

namespace {

const DWORD WAIT_MS = 5000;

typedef DriverWindowTest InputRequester;

HWND find_dialog(const char* title) {
    return ui_find_window(GetCurrentProcessId(), "InputRequester", title, WAIT_MS);
}

HWND field_of(HWND dialog) { return ui_find_child(dialog, "Edit", INPUT_REQUESTER_FIELD_ID); }

bool class_registered() {
    WNDCLASSA info;
    return GetClassInfoA(GetModuleHandleA(0), "InputRequester", &info) != 0;
}

// Asks with the requester on this thread while `person` works the dialog from a helper
// thread; returns the answer and checks that string_end ends just behind it.
std::string ask(const char* title, const char* default_text, uint32_t flags,
                const std::function<void(HWND dialog)>& person) {
    int32_t start = string_end;
    std::string answer;
    bool ended = ui_run_modal(
        [&] {
            input_requester_ex(title, "Enter of width", default_text, flags, start);
            answer = string_buffer + start;
            EXPECT_EQ(string_end, start + (int32_t)answer.size());
        },
        [&] {
            HWND dialog = find_dialog(title);
            EXPECT_NE(dialog, nullptr) << title;
            if (dialog) person(dialog);
        },
        WAIT_MS);
    EXPECT_TRUE(ended) << "the dialog was left open: " << title;
    str_cut_at(start);
    return answer;
}

// Types text and waits until the field shows it.
bool type_into(HWND field, const char* text) {
    ui_type_text(field, text);
    return ui_wait_until([&] { return ui_window_text(field) == text; }, WAIT_MS);
}

}  // namespace

TEST_F(InputRequester, TheTypedTextComesBackOnAcceptance) {
    struct Case {
        const char* name;
        const char* typed;
        std::function<void(HWND dialog, HWND field)> accept;
        const char* expected;
    } cases[] = {
        { "Enter", "640", [](HWND, HWND field) { ui_press_key(field, VK_RETURN); }, "640" },
        { "the OK button", "1024",
          [](HWND dialog, HWND) { ui_click_button(ui_find_child(dialog, "Button", INPUT_REQUESTER_ACCEPT)); },
          "1024" },
        { "an empty field", "", [](HWND, HWND field) { ui_press_key(field, VK_RETURN); }, "" },
    };
    for (const Case& c : cases) {
        bool typed = false;
        std::string answer = ask("Width", "", 0, [&](HWND dialog) {
            HWND field = field_of(dialog);
            typed = type_into(field, c.typed);
            c.accept(dialog, field);
        });
        EXPECT_TRUE(typed) << c.name;
        EXPECT_EQ(answer, c.expected) << c.name;
    }
}

TEST_F(InputRequester, EscapeAndTheCloseBoxCancelEvenWithADefaultText) {
    struct Case {
        const char* name;
        const char* typed;
        std::function<void(HWND dialog, HWND field)> cancel;
    } cases[] = {
        { "Escape", "", [](HWND, HWND field) { ui_press_key(field, VK_ESCAPE); } },
        { "Escape after typing", "12", [](HWND, HWND field) { ui_press_key(field, VK_ESCAPE); } },
        { "the close box", "", [](HWND dialog, HWND) { ui_close_box(dialog); } },
        { "the close box after typing", "12", [](HWND dialog, HWND) { ui_close_box(dialog); } },
    };
    for (const Case& c : cases) {
        std::string answer = ask("Width", "abc", 0, [&](HWND dialog) {
            HWND field = field_of(dialog);
            std::string expected = std::string("abc") + c.typed;
            ui_type_text(field, c.typed);
            ui_wait_until([&] { return ui_window_text(field) == expected; }, WAIT_MS);
            c.cancel(dialog, field);
        });
        EXPECT_EQ(answer, "") << c.name;
        EXPECT_FALSE(class_registered()) << c.name;
    }
}

TEST_F(InputRequester, TheDefaultTextStandsWithTheCaretBehindIt) {
    HWND focus = 0, field = 0;
    std::string shown;
    DWORD selection = 0;
    std::string answer = ask("Width", "abc", 0, [&](HWND dialog) {
        field = field_of(dialog);
        focus = ui_focus_of(dialog);
        shown = ui_window_text(field);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(field, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
        selection = (DWORD)result;
        ui_type_text(field, "d");
        ui_wait_until([&] { return ui_window_text(field) == "abcd"; }, WAIT_MS);
        ui_press_key(field, VK_RETURN);
    });
    EXPECT_NE(field, nullptr);
    EXPECT_EQ(focus, field);
    EXPECT_EQ(shown, "abc");
    EXPECT_EQ(LOWORD(selection), 3);
    EXPECT_EQ(HIWORD(selection), 3);
    // Typing goes behind the default text, nothing of it selected away.
    EXPECT_EQ(answer, "abcd");
}

TEST_F(InputRequester, APasswordFieldShowsPlaceholdersAndGivesTheTypedText) {
    struct Case { uint32_t flags; bool password; } cases[] = { { 0, false }, { INPUT_REQUESTER_PASSWORD, true } };
    for (const Case& c : cases) {
        LONG style = 0;
        DWORD_PTR placeholder = 0;
        std::string answer = ask("Password", "", c.flags, [&](HWND dialog) {
            HWND field = field_of(dialog);
            style = GetWindowLongA(field, GWL_STYLE);
            SendMessageTimeoutA(field, EM_GETPASSWORDCHAR, 0, 0, SMTO_ABORTIFHUNG, 2000, &placeholder);
            type_into(field, "s3cret");
            ui_press_key(field, VK_RETURN);
        });
        EXPECT_EQ((style & ES_PASSWORD) != 0, c.password) << c.flags;
        EXPECT_EQ(placeholder != 0, c.password) << c.flags;
        EXPECT_EQ(answer, "s3cret") << c.flags;
    }
}

namespace {

struct ControlSeen {
    RECT place;  // in the dialog's client area
    LONG style, ex_style;
    std::string text;
    HFONT font;
};

ControlSeen look_at(HWND dialog, HWND control) {
    ControlSeen seen = {};
    GetWindowRect(control, &seen.place);
    MapWindowPoints(0, dialog, (POINT*)&seen.place, 2);
    seen.style = GetWindowLongA(control, GWL_STYLE);
    seen.ex_style = GetWindowLongA(control, GWL_EXSTYLE);
    seen.text = ui_window_text(control);
    DWORD_PTR font = 0;
    SendMessageTimeoutA(control, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, 2000, &font);
    seen.font = (HFONT)font;
    return seen;
}

void expect_place(const ControlSeen& seen, int x, int y, int w, int h, const char* what) {
    EXPECT_EQ(seen.place.left, x) << what;
    EXPECT_EQ(seen.place.top, y) << what;
    EXPECT_EQ(seen.place.right - seen.place.left, w) << what;
    EXPECT_EQ(seen.place.bottom - seen.place.top, h) << what;
}

}  // namespace

TEST_F(InputRequester, TwoDialogsInARowShowTheSameLayoutAtTheSameCentredPlace) {
    HFONT stock = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    RECT places[2];
    for (int round = 0; round < 2; round++) {
        RECT place = {};
        LONG style = 0;
        HWND owner = 0;
        bool registered = false;
        ControlSeen prompt = {}, field = {}, ok = {};
        ask("Width", "", 0, [&](HWND dialog) {
            GetWindowRect(dialog, &place);
            style = GetWindowLongA(dialog, GWL_STYLE);
            owner = GetWindow(dialog, GW_OWNER);
            registered = class_registered();
            prompt = look_at(dialog, ui_find_child(dialog, "Static", 0));
            field = look_at(dialog, field_of(dialog));
            ok = look_at(dialog, ui_find_child(dialog, "Button", INPUT_REQUESTER_ACCEPT));
            ui_press_key(field_of(dialog), VK_ESCAPE);
        });
        places[round] = place;
        EXPECT_EQ(place.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 150);
        EXPECT_EQ(place.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 65);
        EXPECT_EQ(place.right - place.left, 300);
        EXPECT_EQ(place.bottom - place.top, 130);
        EXPECT_EQ(style & 0x10CF0000, 0x10C80000);  // visible, caption, system menu; no frame or boxes
        EXPECT_EQ(owner, main_window);
        EXPECT_TRUE(registered);
        EXPECT_FALSE(class_registered());

        expect_place(prompt, 10, 10, 280, 22, "prompt");
        EXPECT_EQ(prompt.style, 0x5000000B);
        EXPECT_EQ(prompt.text, "Enter of width");
        expect_place(field, 10, 32, 275, 21, "field");
        EXPECT_EQ(field.style & ~ES_PASSWORD, 0x50010080);
        EXPECT_TRUE(field.ex_style & WS_EX_CLIENTEDGE);
        expect_place(ok, 110, 67, 80, 25, "OK");
        EXPECT_EQ(ok.style, 0x50010001);
        EXPECT_EQ(ok.text, "OK");
        for (const ControlSeen* seen : { &prompt, &field, &ok }) EXPECT_EQ(seen->font, stock);
        EXPECT_EQ(input_requester_state.font, stock);
    }
    EXPECT_TRUE(EqualRect(&places[0], &places[1]));
}

TEST_F(InputRequester, TheFontIsFetchedOnlyOnce) {
    // A font kept from an earlier dialog serves again: the stock font is not fetched anew.
    HFONT kept = input_requester_state.font;
    HFONT own = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    input_requester_state.font = own;
    HFONT seen = 0;
    ask("Width", "", 0, [&](HWND dialog) {
        seen = look_at(dialog, field_of(dialog)).font;
        ui_press_key(field_of(dialog), VK_ESCAPE);
    });
    EXPECT_EQ(seen, own);
    EXPECT_EQ(input_requester_state.font, own);
    input_requester_state.font = kept;
    DeleteObject(own);
}

TEST_F(InputRequester, TheResultIsATemporaryStringAtTheCallersPosition) {
    int32_t saved = string_end;
    // Texts built in the temporary buffer, as callers pass them.
    str_concat("Height");
    string_end++;
    const char* title = string_buffer + saved;
    int32_t position = string_end;
    int32_t blocks = heap_live_blocks();
    bool ended = ui_run_modal(
        [&] { input_requester(title, "Enter of height", "", position); },
        [&] {
            HWND dialog = find_dialog("Height");
            if (!dialog) return;
            type_into(field_of(dialog), "480");
            ui_press_key(field_of(dialog), VK_RETURN);
        },
        WAIT_MS);
    EXPECT_TRUE(ended);
    EXPECT_STREQ(string_buffer + position, "480");
    EXPECT_EQ(string_end, position + 3);
    EXPECT_STREQ(string_buffer + saved, "Height");
    // The copies and the typed text's block were all given back.
    EXPECT_EQ(heap_live_blocks(), blocks);
    str_cut_at(saved);
}

TEST_F(InputRequester, AQuitMessageClosesTheDialogRestoresTheWindowsAndIsKept) {
    HWND second = (HWND)window_open(1, 10, 10, 200, 100, "second", WINDOW_NO_ACTIVATION);
    ASSERT_NE(second, nullptr);
    SetForegroundWindow(main_window);
    DWORD caller = GetCurrentThreadId();
    HWND dialog = 0;
    bool disabled_meanwhile = false;
    std::string answer = "unchanged";
    int32_t start = string_end;
    bool ended = ui_run_modal(
        [&] {
            input_requester("Width", "Enter of width", "abc", start);
            answer = string_buffer + start;
        },
        [&] {
            dialog = find_dialog("Width");
            if (!dialog) return;
            disabled_meanwhile = !IsWindowEnabled(main_window) && !IsWindowEnabled(second);
            PostThreadMessageA(caller, WM_QUIT, 7, 0);
        },
        WAIT_MS);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(disabled_meanwhile);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(string_end, start);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(main_window));
    EXPECT_TRUE(IsWindowEnabled(second));
    EXPECT_FALSE(class_registered());
    // The caller's own loop still sees the quit message.
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

namespace {

std::string inner_answer;
std::atomic<bool> inner_asked;
LRESULT ask_again(HWND, UINT message, WPARAM, LPARAM) {
    if (message != WM_APP) return CALLBACK_CONTINUE;
    int32_t start = string_end;
    str_concat("x");  // something for the refusal to cut away
    input_requester("Again", "", "", start);
    inner_answer = string_buffer + start;
    str_cut_at(start);
    inner_asked = true;
    return 0;
}

BOOL CALLBACK count_dialogs(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && ui_class_of(window) == "InputRequester") ++*(int*)count;
    return TRUE;
}

}  // namespace

TEST_F(InputRequester, ASecondRequesterWhileOneIsOpenGivesTheEmptyString) {
    ui_window_record(0)->callback = ask_again;
    inner_asked = false;
    inner_answer = "unchanged";
    int dialogs = 0;
    std::string answer = ask("Width", "", 0, [&](HWND dialog) {
        // The modal loop dispatches the message to the disabled main window, whose
        // callback asks again.
        PostMessageA(main_window, WM_APP, 0, 0);
        ui_wait_until([&] { return inner_asked.load(); }, WAIT_MS);
        EnumWindows(count_dialogs, (LPARAM)&dialogs);
        type_into(field_of(dialog), "7");
        ui_press_key(field_of(dialog), VK_RETURN);
    });
    ui_window_record(0)->callback = 0;
    EXPECT_TRUE(inner_asked);
    EXPECT_EQ(inner_answer, "");
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(answer, "7");
}

namespace {
LRESULT close_on_app(HWND, UINT message, WPARAM, LPARAM) {
    if (message != WM_APP) return CALLBACK_CONTINUE;
    window_close(0);
    return 0;
}
}  // namespace

TEST_F(InputRequester, TheWindowsComeBackWhenTheDialogGoesWithItsOwner) {
    HWND second = (HWND)window_open(1, 10, 10, 200, 100, "second", WINDOW_NO_ACTIVATION);
    ASSERT_NE(second, nullptr);
    SetForegroundWindow(main_window);
    ui_window_record(0)->callback = close_on_app;
    HWND dialog = 0;
    bool second_disabled = false;
    std::string answer = ask("Width", "", 0, [&](HWND found) {
        dialog = found;
        second_disabled = !IsWindowEnabled(second);
        // Closing the owner destroys the dialog it owns, past the dialog's own handlers.
        PostMessageA(main_window, WM_APP, 0, 0);
        ui_wait_gone(found, WAIT_MS);
    });
    EXPECT_TRUE(second_disabled);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(main_window));
    EXPECT_EQ(answer, "");
    EXPECT_TRUE(IsWindowEnabled(second));
    EXPECT_FALSE(class_registered());
    for (DisabledWindowNode* node = disabled_windows; node; node = node->next)
        EXPECT_NE(node->entry.thread_id, GetCurrentThreadId());
}
