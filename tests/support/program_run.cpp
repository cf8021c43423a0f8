// Starting a program with CreateProcessW and playing a person through its dialogs with
// the UI automation helpers.
#include "tests/support/program_run.h"

#include <stdio.h>
#include <string.h>

#include <filesystem>

#include "tests/support/ui_automation.h"
#include "tests/support/wait_scale.h"

std::string program_windows_path(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

ProgramRun::~ProgramRun() {
    terminate();
    if (process_) CloseHandle(process_);
}

// Our environment block without the variables given, then those variables.
static std::vector<char> environment_with(const std::vector<std::string>& variables) {
    std::vector<char> block;
    char* ours = GetEnvironmentStringsA();
    for (const char* entry = ours; entry && *entry; entry += strlen(entry) + 1) {
        bool replaced = false;
        for (const std::string& variable : variables) {
            size_t name = variable.find('=') + 1;
            if (_strnicmp(entry, variable.c_str(), name) == 0) replaced = true;
        }
        if (!replaced) block.insert(block.end(), entry, entry + strlen(entry) + 1);
    }
    if (ours) FreeEnvironmentStringsA(ours);
    for (const std::string& variable : variables)
        block.insert(block.end(), variable.c_str(), variable.c_str() + variable.size() + 1);
    block.push_back(0);
    return block;
}

bool ProgramRun::start(const std::string& program, const std::string& folder,
                       const std::vector<std::string>& variables) {
    if (process_) return false;
    std::string command = "\"" + program + "\"";
    std::vector<char> environment = environment_with(variables);
    char kept[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VANTOREL_TEST_STDERR", kept, sizeof kept);
    if (length > 0 && length < sizeof kept) {
        error_file_ = program_windows_path(kept);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(error_file_.c_str(), GetFileExInfoStandard, &data)) {
            error_start_.LowPart = data.nFileSizeLow;
            error_start_.HighPart = (LONG)data.nFileSizeHigh;
        }
    }
    // Paths are UTF-8, which our own code page need not carry.
    auto wide = [](const std::string& text) { return std::filesystem::u8path(text).wstring(); };
    std::wstring program_w = wide(program), command_w = wide(command), folder_w = wide(folder);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program_w.c_str(), &command_w[0], 0, 0, FALSE, 0, environment.data(),
                        folder_w.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    process_id_ = info.dwProcessId;
    return true;
}

std::string ProgramRun::error_output() const {
    std::string text;
    if (error_file_.empty()) return text;
    HANDLE file = CreateFileA(error_file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return text;
    if (SetFilePointerEx(file, error_start_, 0, FILE_BEGIN)) {
        char block[65536];
        DWORD n;
        while (ReadFile(file, block, sizeof block, &n, 0) && n > 0) text.append(block, n);
    }
    CloseHandle(file);
    return text;
}

const char PROGRAM_RELAY_TRACE[] = "WINEDEBUG=-all,+relay";

std::vector<std::string> program_beeps(const std::string& trace_text) {
    std::vector<std::string> beeps;
    const char call[] = "Call KERNEL32.Beep(";
    for (size_t at = 0; (at = trace_text.find(call, at)) != std::string::npos;) {
        at += sizeof call - 1;
        unsigned long frequency, duration;
        if (sscanf(trace_text.c_str() + at, "%lx,%lx)", &frequency, &duration) == 2)
            beeps.push_back(std::to_string(frequency) + " " + std::to_string(duration));
    }
    return beeps;
}

static bool ended(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

HWND ProgramRun::next_window(std::initializer_list<const char*> classes, DWORD timeout_ms) const {
    if (!process_) return 0;
    HWND found = 0;
    ui_wait_until([&] {
        for (const char* name : classes)
            if ((found = ui_find_window(process_id_, name, 0, 0))) return true;
        return ended(process_);
    }, timeout_ms);
    // A window shows before its thread pumps messages; until then the reads, which give
    // up on a thread that looks hung, would find it empty. Wait for its answer first.
    DWORD_PTR answer;
    if (found)
        SendMessageTimeoutA(found, WM_NULL, 0, 0, SMTO_NORMAL, test_wait_ms(timeout_ms), &answer);
    return found;
}

bool ProgramRun::wait_exit(DWORD timeout_ms) {
    return process_ && WaitForSingleObject(process_, test_wait_ms(timeout_ms)) == WAIT_OBJECT_0;
}

DWORD ProgramRun::exit_code() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

void ProgramRun::terminate() {
    if (!process_ || ended(process_)) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
}

bool program_type_answer(HWND dialog, const char* text, DWORD timeout_ms) {
    HWND field = ui_find_child(dialog, "Edit", -1);
    if (!field) return false;
    ui_type_text(field, text);
    return ui_wait_until([&] { return ui_window_text(field) == text; }, timeout_ms);
}

bool program_finish_dialog(HWND dialog, AnswerKey key, DWORD timeout_ms) {
    HWND field = ui_find_child(dialog, "Edit", -1);
    if (!field) return false;
    switch (key) {
    case ANSWER_ENTER: ui_press_key(field, VK_RETURN); break;
    case ANSWER_OK: {
        HWND button = ui_find_child(dialog, "Button", -1);
        if (!button) return false;
        ui_click_button(button);
        break;
    }
    case ANSWER_ESCAPE: ui_press_key(field, VK_ESCAPE); break;
    case ANSWER_CLOSE_BOX: ui_close_box(dialog); break;
    }
    return ui_wait_gone(dialog, timeout_ms);
}

SessionRecord program_session(ProgramRun& run, const SessionPlan& plan) {
    SessionRecord record = { {}, {}, false, STILL_ACTIVE, "" };
    size_t next_answer = 0;
    while (HWND window = run.next_window({ plan.input_class, "#32770" }, plan.wait_ms)) {
        std::string title = ui_window_text(window);
        bool input = lstrcmpiA(ui_class_of(window).c_str(), plan.input_class) == 0;
        // The prompt and the message are the dialog's texts that are not icons.
        (input ? record.asked : record.shown).push_back(title + ": " + ui_message_box_text(window));
        bool done;
        if (plan.person_answers) {
            if (plan.seen) plan.seen(window);
            done = ui_wait_gone(window, plan.wait_ms);
        } else if (input) {
            DialogAnswer escape = { 0, ANSWER_ESCAPE };
            const DialogAnswer& answer =
                next_answer < plan.answers.size() ? plan.answers[next_answer++] : escape;
            done = !answer.text || program_type_answer(window, answer.text, plan.wait_ms);
            if (done && plan.seen) plan.seen(window);
            done = done && program_finish_dialog(window, answer.key, plan.wait_ms);
        } else {
            if (plan.seen) plan.seen(window);
            done = ui_dismiss_message_box(window) && ui_wait_gone(window, plan.wait_ms);
        }
        if (!done) {
            record.trouble = "\"" + title + "\" could not be answered or stayed open";
            break;
        }
    }
    record.ended = run.wait_exit(plan.wait_ms);
    record.exit_code = run.exit_code();
    if (!record.ended) {
        if (record.trouble.empty()) record.trouble = "the program did not end";
        run.terminate();
    }
    return record;
}
