// Vantorel.exe run in a fresh folder as a person runs it: pictures put into images\,
// the program started there, its dialogs answered, its Beep calls read from Wine's relay
// trace, what it left in the folder read back. For the end-to-end tests, which define
// VANTOREL_EXE as the built program's Unix path.
#ifndef VANTOREL_TESTS_SUPPORT_BATCH_FOLDER_H
#define VANTOREL_TESTS_SUPPORT_BATCH_FOLDER_H

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/jpeg_maker.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"
#include "tests/support/ui_automation.h"

const DWORD BATCH_WAIT_MS = 10000;
typedef std::vector<std::string> Lines;
const char KEPT_NOTE[] = "Read it already.\r\n";
const Lines HIGH_BEEP = { "3000 100" };
const Lines LOW_BEEP = { "1000 100" };

inline std::string built_program() { return program_windows_path(VANTOREL_EXE); }

// The lines of text, each ended by CR LF; a last line without one is kept as it is.
inline Lines crlf_lines(const std::string& text) {
    Lines lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// What one run showed, its Beep calls, and those heard when its first message box showed.
struct Outcome : SessionRecord {
    Lines beeps;
    Lines beeps_before_message;
};

// A fresh folder to run the program in, with what fills it and reads what a run left.
class RunFolder : public TempFolder {
  public:
    // A readme.txt that is there already keeps the usage note out of runs about pictures.
    explicit RunFolder(bool with_note = true, const std::string& name_end = "") : TempFolder(name_end) {
        if (with_note) write("readme.txt", KEPT_NOTE);
    }
    void make_folder(const char* name) const { CreateDirectoryA(file(name).c_str(), 0); }
    void put(const std::string& name, const Bytes& bytes) const {
        make_folder("images");
        write(("images\\" + name).c_str(), bytes);
    }
    void put_picture(const std::string& name, int32_t width, int32_t height) const {
        put(name, jpeg_make(jpeg_bands(width, height, { { 200, 40, 40 }, { 40, 200, 40 } }, 95)));
    }
    // Names of the plain files in a sub-folder, sorted; none when it is missing.
    Lines files_in(const char* name) const {
        Lines names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(file(name), error))
            if (entry.is_regular_file()) names.push_back(entry.path().filename().u8string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Outcome run(const std::vector<DialogAnswer>& answers, const std::string& program = built_program()) const {
        return run_in(path(), answers, program);
    }
    // Runs program with folder as its current folder, its Beep calls traced.
    Outcome run_in(const std::string& folder, const std::vector<DialogAnswer>& answers,
                   const std::string& program) const {
        Outcome outcome;
        ProgramRun run;
        if (!run.start(program, folder, { PROGRAM_RELAY_TRACE })) {
            outcome.ended = false;
            outcome.trouble = "could not start " + program;
            return outcome;
        }
        bool message_seen = false;
        auto heard = [&](HWND window) {
            if (!message_seen && ui_class_of(window) == "#32770") {
                message_seen = true;
                outcome.beeps_before_message = program_beeps(run.error_output());
            }
            if (seen) seen(window);
        };
        SessionPlan plan = { "InputRequester", answers, false, wait_ms, heard };
        static_cast<SessionRecord&>(outcome) = program_session(run, plan);
        outcome.beeps = program_beeps(run.error_output());
        return outcome;
    }
    // A copy of the built program in this folder, for runs where its folder matters.
    std::string copy_program() const {
        std::string copy = file("Vantorel.exe");
        std::error_code error;
        return std::filesystem::copy_file(built_program(), std::filesystem::u8path(copy), error) ? copy : "";
    }

    // Called with each dialog and box of a run just before it is finished.
    std::function<void(HWND)> seen;
    // The longest wait for the next window, before test_wait_ms stretches it.
    DWORD wait_ms = BATCH_WAIT_MS;
};

// A normal end with exactly these beeps, heard before a message box showed.
inline void expect_normal_end(const Outcome& outcome, const Lines& beeps) {
    EXPECT_EQ(outcome.trouble, "");
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.beeps, beeps);
    if (!outcome.shown.empty()) {
        EXPECT_EQ(outcome.beeps_before_message, beeps) << "heard before the message";
    }
}

#endif
