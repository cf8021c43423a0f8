// A real program started the way a person starts it, and a person playing through its
// dialogs: typing each answer and pressing Enter, clicking OK, pressing Escape or the
// close box, reading and dismissing the message box. Used by the end-to-end tests and
// by the demo's pilot. Every wait is bounded; a program still running when its
// ProgramRun goes is ended.
#ifndef VANTOREL_TESTS_SUPPORT_PROGRAM_RUN_H
#define VANTOREL_TESTS_SUPPORT_PROGRAM_RUN_H

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// The Windows path of a Unix path, as Wine's drive Z: shows the Unix root.
std::string program_windows_path(const std::string& unix_path);

class ProgramRun {
  public:
    ProgramRun() = default;
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Starts program (a Windows path) in folder with our environment plus variables
    // ("NAME=value", replacing ours of the same name); false when it cannot start.
    bool start(const std::string& program, const std::string& folder,
               const std::vector<std::string>& variables);
    DWORD process_id() const { return process_id_; }
    // A visible top-level window of the program with one of the classes, waited for up
    // to timeout_ms; none when the program ends first or nothing comes.
    HWND next_window(std::initializer_list<const char*> classes, DWORD timeout_ms) const;
    // True once the program has ended, false when it still runs after timeout_ms.
    bool wait_exit(DWORD timeout_ms);
    // The exit code of the ended program; STILL_ACTIVE while it runs.
    DWORD exit_code() const;
    // Ends the program at once if it still runs.
    void terminate();
    // What was written to our Unix standard error since the start, where Wine writes
    // the debug output of the programs we start: scripts/wine-run.sh keeps it in the
    // file named by VANTOREL_TEST_STDERR. Empty without that file.
    std::string error_output() const;

  private:
    HANDLE process_ = 0;
    DWORD process_id_ = 0;
    std::string error_file_;
    LARGE_INTEGER error_start_ = {};
};

// Watching a program's Beep calls from outside: the variable for start, and the calls
// found in the trace file, each as "frequency duration" in decimal, in order. The
// prefix's HKCU\Software\Wine\Debug value RelayInclude (kernel32.Beep) keeps the
// trace to those calls.
extern const char PROGRAM_RELAY_TRACE[];  // "WINEDEBUG=-all,+relay"
std::vector<std::string> program_beeps(const std::string& trace_text);

// How a person finishes an input dialog.
enum AnswerKey {
    ANSWER_ENTER,      // Enter in the field
    ANSWER_OK,         // the dialog's button
    ANSWER_ESCAPE,     // Escape in the field
    ANSWER_CLOSE_BOX,  // the title bar's close box
};

// One answer: the text typed into the empty field first (null: none), then the key.
struct DialogAnswer {
    const char* text;
    AnswerKey key;
};

// Types text into the dialog's field; true once the field shows it.
bool program_type_answer(HWND dialog, const char* text, DWORD timeout_ms);
// Finishes the dialog with the key; true once the dialog is gone.
bool program_finish_dialog(HWND dialog, AnswerKey key, DWORD timeout_ms);

// What a person meets in one run of a program with input dialogs and a message box.
struct SessionPlan {
    const char* input_class;           // the input dialog's window class
    std::vector<DialogAnswer> answers; // one per input dialog, in order; Escape after the last
    bool person_answers;               // someone at the display answers; only watch
    DWORD wait_ms;                     // longest wait for the next window or an action
    // Called with each dialog and box just before it is finished: after the answer is
    // typed, or when it appears while a person answers (may be empty).
    std::function<void(HWND)> seen;
};

struct SessionRecord {
    std::vector<std::string> asked;  // "title: prompt" of every input dialog, in order
    std::vector<std::string> shown;  // "title: text" of every message box, in order
    bool ended;                      // the program ended within the waits
    DWORD exit_code;
    std::string trouble;             // what went wrong with the automation, or empty
};

// Plays the plan through a started program until it ends.
SessionRecord program_session(ProgramRun& run, const SessionPlan& plan);

#endif
