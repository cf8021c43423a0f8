// Program launch with real programs: fs_child (built beside this test) and the system's
// command interpreter. Every started program ends before its test does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fs/process.h"
#include "runtime/registry.h"
#include "tests/support/short_heap.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_scale.h"

namespace {

std::string child_path() {
    char path[MAX_PATH];
    GetModuleFileNameA(0, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, "fs_child.exe");
    return path;
}

std::string in_quotes(const std::string& text) { return "\"" + text + "\""; }

// Everything a pipe delivers until every writer is gone. A writer still there after
// ten seconds (a child end we kept open) spoils the text.
std::string read_pipe(HANDLE pipe) {
    std::string text;
    DWORD deadline = GetTickCount() + test_wait_ms(10000);
    for (;;) {
        if (GetTickCount() > deadline) return text + " (pipe never ended)";
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, 0, 0, 0, &available, 0)) break;
        if (!available) {
            Sleep(5);
            continue;
        }
        char chunk[256];
        DWORD n = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &n, 0)) break;
        text.append(chunk, n);
    }
    return text;
}

// The lines fs_child's report mode wrote: command line, folder, uses the show state,
// show state, has a standard output.
std::vector<std::string> report_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = read_whole_file(path), line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

// The handles this process holds, found by asking the system about every small
// handle value.
int open_handles() {
    int count = 0;
    for (uintptr_t value = 4; value < 8192; value += 4) {
        DWORD info;
        if (GetHandleInformation((HANDLE)value, &info)) count++;
    }
    return count;
}

ProgramHandle* kept(int32_t identity) { return (ProgramHandle*)(intptr_t)identity; }

DWORD exit_code(const ProgramHandle* program) {
    DWORD code = 12345;
    GetExitCodeProcess(program->process, &code);
    return code;
}

// Ends a kept program if it still runs and closes what it kept.
void finish(ProgramHandle* program) {
    if (!program) return;
    if (program->process) {
        if (WaitForSingleObject(program->process, test_wait_ms(10000)) == WAIT_TIMEOUT)
            TerminateProcess(program->process, 1);
        CloseHandle(program->process);
    }
    for (HANDLE pipe : {program->input_pipe, program->output_pipe, program->error_pipe})
        if (pipe) CloseHandle(pipe);
    memset(program, 0, sizeof *program);
}

class Launch : public testing::Test {
  protected:
    void SetUp() override { process_library_init(); }
    TempFolder folder;
    std::string child = child_path();
};

// A document type of its own whose open command is fs_child's report mode, writing
// beside the document; the association goes when the test ends.
class ShellDocument : public Launch {
  protected:
    void SetUp() override {
        Launch::SetUp();
        std::string command = in_quotes(child) + " report \"%1.report\"";
        ASSERT_TRUE(set_key(".vantoreltest", "VantorelTest.Document"));
        ASSERT_TRUE(set_key("VantorelTest.Document\\shell\\open\\command", command));
        document = folder.write("note.vantoreltest", "text");
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".vantoreltest");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "VantorelTest.Document");
    }
    static bool set_key(const char* name, const std::string& value) {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, name, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0))
            return false;
        LONG status = RegSetValueExA(key, 0, 0, REG_SZ, (const BYTE*)value.c_str(),
                                     (DWORD)value.size() + 1);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
    // The report of the program the shell started, once it is there.
    std::vector<std::string> wait_for_report() {
        for (unsigned long i = 0; i < test_wait_ms(1000); i++) {
            std::vector<std::string> lines = report_lines(document + ".report");
            if (lines.size() == 5) return lines;
            Sleep(10);
        }
        return {};
    }
    std::string document;
};

}  // namespace

TEST_F(Launch, WaitAndKeepGiveTheEndedProgram) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    std::string cmd = std::string(system) + "\\cmd.exe";
    struct { std::string program, parameters; DWORD code; } cases[] = {
        {cmd, "/c exit 7", 7}, {child, "exit 3", 3}, {in_quotes(child), "exit 4", 4}};
    for (auto& c : cases) {
        uint32_t flags = PROGRAM_WAIT | PROGRAM_KEEP;
        ProgramHandle* program =
            kept(program_run_ex(c.program.c_str(), c.parameters.c_str(), "", flags, nullptr));
        ASSERT_NE(program, nullptr) << c.program;
        EXPECT_EQ(WaitForSingleObject(program->process, 0), WAIT_OBJECT_0) << "already ended";
        EXPECT_EQ(exit_code(program), c.code) << c.program;
        EXPECT_GT(program->process_id, 0);
        EXPECT_EQ(program->flags, flags);
        EXPECT_EQ(program->input_pipe, nullptr);
        EXPECT_EQ(program->output_pipe, nullptr);
        EXPECT_EQ(program->error_pipe, nullptr);
        EXPECT_EQ(registry_get(program_chain, registry_identity(program)), program);
        finish(program);
    }
}

TEST_F(Launch, TheCommandLineIsTheQuotedProgramASpaceAndTheParameters) {
    std::string report = folder.file("report.txt");
    std::string parameters = "report " + in_quotes(report);
    std::string expected = in_quotes(child) + " " + parameters;
    for (std::string program : {child, in_quotes(child)}) {
        ASSERT_EQ(program_run_ex(program.c_str(), parameters.c_str(), "", PROGRAM_WAIT, nullptr), 1);
        std::vector<std::string> lines = report_lines(report);
        ASSERT_EQ(lines.size(), 5u) << program;
        EXPECT_EQ(lines[0], expected) << program;
        DeleteFileA(report.c_str());
    }
}

TEST_F(Launch, RunsInTheGivenFolderOrInOurs) {
    std::string report = folder.file("report.txt");
    std::string parameters = "report " + in_quotes(report);
    char ours[MAX_PATH];
    GetCurrentDirectoryA(sizeof ours, ours);
    struct { const char* folder; std::string expected; } cases[] = {
        {folder.path().c_str(), folder.path()}, {"", ours}, {nullptr, ours}};
    for (auto& c : cases) {
        ASSERT_EQ(program_run_ex(child.c_str(), parameters.c_str(), c.folder, PROGRAM_WAIT, nullptr), 1);
        std::vector<std::string> lines = report_lines(report);
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1], c.expected);
        DeleteFileA(report.c_str());
    }
}

TEST_F(Launch, HiddenProgramsGetNoWindowAndNoConsole) {
    std::string report = folder.file("report.txt");
    std::string parameters = "report " + in_quotes(report);
    struct { uint32_t flags; const char* show; const char* output; } cases[] = {
        {PROGRAM_WAIT, "1", "1"},
        {PROGRAM_WAIT | PROGRAM_HIDDEN, "0", "0"},
        // With a pipe the hidden program has its standard handles.
        {PROGRAM_WAIT | PROGRAM_HIDDEN | PROGRAM_KEEP | PROGRAM_READ_OUTPUT, "0", "1"},
    };
    for (auto& c : cases) {
        int32_t result = program_run_ex(child.c_str(), parameters.c_str(), "", c.flags, nullptr);
        ASSERT_NE(result, 0) << c.flags;
        if (c.flags & PROGRAM_KEEP) finish(kept(result));
        std::vector<std::string> lines = report_lines(report);
        ASSERT_EQ(lines.size(), 5u) << c.flags;
        EXPECT_EQ(lines[2], "1") << c.flags;
        EXPECT_EQ(lines[3], c.show) << c.flags;
        EXPECT_EQ(lines[4], c.output) << c.flags;
        DeleteFileA(report.c_str());
    }
}

TEST_F(Launch, TheOutputAndErrorPipesCarryWhatTheProgramWrites) {
    uint32_t both = PROGRAM_KEEP | PROGRAM_READ_OUTPUT | PROGRAM_READ_ERROR;
    ProgramHandle* echo = kept(program_run_ex(child.c_str(), "echo hello", "", both, nullptr));
    ProgramHandle* error = kept(program_run_ex(child.c_str(), "error oops", "", both, nullptr));
    ASSERT_NE(echo, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(echo->input_pipe, nullptr);
    EXPECT_EQ(read_pipe(echo->output_pipe), "hello");
    EXPECT_EQ(read_pipe(echo->error_pipe), "");
    EXPECT_EQ(read_pipe(error->output_pipe), "");
    EXPECT_EQ(read_pipe(error->error_pipe), "oops");
    finish(echo);
    finish(error);
}

TEST_F(Launch, TheInputPipeFeedsTheProgram) {
    uint32_t flags = PROGRAM_KEEP | PROGRAM_WRITE_INPUT | PROGRAM_READ_OUTPUT;
    ProgramHandle* upper = kept(program_run_ex(child.c_str(), "upper", "", flags, nullptr));
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(upper->input_pipe, nullptr);
    DWORD written;
    ASSERT_TRUE(WriteFile(upper->input_pipe, "abc def", 7, &written, 0));
    CloseHandle(upper->input_pipe);
    upper->input_pipe = 0;
    EXPECT_EQ(read_pipe(upper->output_pipe), "ABC DEF");
    finish(upper);
}

TEST_F(Launch, AChainedProgramReadsTheSourcesOutput) {
    ProgramHandle* source = kept(program_run_ex(child.c_str(), "echo chained", "",
                                                PROGRAM_KEEP | PROGRAM_READ_OUTPUT, nullptr));
    ASSERT_NE(source, nullptr);
    // The chain takes precedence over a pipe of its own for standard input.
    uint32_t flags = PROGRAM_KEEP | PROGRAM_CHAIN_INPUT | PROGRAM_WRITE_INPUT | PROGRAM_READ_OUTPUT;
    ProgramHandle* upper = kept(program_run_ex(child.c_str(), "upper", "", flags, source));
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->input_pipe, nullptr);
    // Our copy of the source's output end goes, so the chained program sees its end.
    CloseHandle(source->output_pipe);
    source->output_pipe = 0;
    EXPECT_EQ(read_pipe(upper->output_pipe), "CHAINED");
    finish(upper);
    finish(source);
}

TEST_F(Launch, NothingToStartGivesZero) {
    std::string missing = folder.file("no such program.exe");
    for (uint32_t flags : {0u, (uint32_t)PROGRAM_KEEP, (uint32_t)(PROGRAM_KEEP | PROGRAM_READ_OUTPUT)})
        EXPECT_EQ(program_run_ex(missing.c_str(), "", "", flags, nullptr), 0) << flags;
    EXPECT_EQ(program_run(missing.c_str(), "x", ""), 0);
    EXPECT_EQ(program_run(nullptr, nullptr, nullptr), 0);
}

TEST_F(Launch, AFailedLaunchClosesThePipesItMade) {
    std::string missing = folder.file("no such program.exe");
    uint32_t flags = PROGRAM_KEEP | PROGRAM_WRITE_INPUT | PROGRAM_READ_OUTPUT | PROGRAM_READ_ERROR;
    int before = open_handles();
    EXPECT_EQ(program_run_ex(missing.c_str(), "", "", flags, nullptr), 0);
    EXPECT_EQ(open_handles(), before);
}

TEST_F(Launch, ALaunchLeavesOpenOnlyWhatTheCallerKeeps) {
    uint32_t piped = PROGRAM_KEEP | PROGRAM_WRITE_INPUT | PROGRAM_READ_OUTPUT | PROGRAM_READ_ERROR;
    struct { uint32_t flags; int kept; } cases[] = {
        {PROGRAM_WAIT, 0}, {PROGRAM_WAIT | PROGRAM_KEEP, 1}, {PROGRAM_WAIT | piped, 4}};
    for (auto c : cases) {
        int before = open_handles();
        int32_t result = program_run_ex(child.c_str(), "exit 0", "", c.flags, nullptr);
        ASSERT_NE(result, 0) << c.flags;
        EXPECT_EQ(open_handles(), before + c.kept) << c.flags;
        if (c.flags & PROGRAM_KEEP) finish(kept(result));
        EXPECT_EQ(open_handles(), before) << c.flags;
    }
}

TEST_F(Launch, KeepWithoutMemoryStartsNothing) {
    std::string report = folder.file("report.txt");
    std::string parameters = "report " + in_quotes(report);
    {
        size_t command = child.size() + parameters.size() + 4;
        ShortObjectHeap heap(command + 8);
        ASSERT_TRUE(heap.fits(command));
        EXPECT_EQ(program_run_ex(child.c_str(), parameters.c_str(), "",
                                 PROGRAM_WAIT | PROGRAM_KEEP, nullptr), 0);
    }
    EXPECT_EQ(read_whole_file(report), "");
}

TEST_F(Launch, ProgramFilenameLeavesOutTheLongPathPrefix) {
    ASSERT_EQ(child[1], ':') << "needs a drive path";
    std::string prefixed = "\\\\?\\" + child;
    ProgramHandle* program = kept(program_run_ex(prefixed.c_str(), "filename", "",
                                                 PROGRAM_KEEP | PROGRAM_READ_OUTPUT, nullptr));
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(read_pipe(program->output_pipe), child);
    finish(program);
}

TEST_F(Launch, ShutdownWritesWhatAFileStillHolds) {
    std::string path = folder.file("pending.txt");
    ASSERT_EQ(program_run_ex(child.c_str(), ("pending " + in_quotes(path)).c_str(), "",
                             PROGRAM_WAIT, nullptr), 1);
    EXPECT_EQ(read_whole_file(path), "left pending");
}

TEST_F(Launch, ReleasingARegisteredProgramClosesItsHandle) {
    HANDLE event = CreateEventA(0, TRUE, FALSE, 0);
    ASSERT_NE(event, nullptr);
    HANDLE* record = (HANDLE*)registry_allocate(program_registry, 2);
    ASSERT_NE(record, nullptr);
    *record = event;
    registry_release_all(program_registry);
    DWORD info;
    EXPECT_FALSE(GetHandleInformation(event, &info)) << "the handle is closed";
    EXPECT_EQ(registry_get(program_registry, 2), nullptr);
    EXPECT_EQ(program_release(2), 0);
}

TEST_F(ShellDocument, ADocumentOpensInItsFolderThroughTheShell) {
    EXPECT_EQ(program_run(document.c_str(), "", ""), 1);
    std::vector<std::string> lines = wait_for_report();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], folder.path());
}

TEST_F(ShellDocument, AKeptDocumentHasNoProcessId) {
    ProgramHandle* program =
        kept(program_run_ex(document.c_str(), "", "", PROGRAM_KEEP | PROGRAM_WAIT, nullptr));
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->process_id, -1);
    EXPECT_EQ(report_lines(document + ".report").size(), 5u) << "waited for";
    finish(program);
}

TEST_F(ShellDocument, PipeFlagsAreNeverTriedThroughTheShell) {
    uint32_t cases[] = {PROGRAM_READ_OUTPUT, PROGRAM_KEEP | PROGRAM_READ_OUTPUT,
                        PROGRAM_KEEP | PROGRAM_WRITE_INPUT, PROGRAM_KEEP | PROGRAM_READ_ERROR,
                        PROGRAM_CHAIN_INPUT};
    for (uint32_t flags : cases)
        EXPECT_EQ(program_run_ex(document.c_str(), "", "", flags | PROGRAM_WAIT, nullptr), 0) << flags;
    EXPECT_EQ(read_whole_file(document + ".report"), "");
}
