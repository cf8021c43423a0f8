// Paths split and trimmed by character in the active code page: in a double-byte one a
// trail byte 0x5C or 0x7C is no '\' or '|' (Shift-JIS 表 is 0x95 0x5C, ポ 0x83 0x7C),
// while single-byte and UTF-8 paths split as they always did. The code page's answer and
// the system calls the paths reach are hooked in this program's import table, so nothing
// is touched on disk and nothing is started.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "fs/dirscan.h"
#include "fs/pathinfo.h"
#include "fs/process.h"
#include "fs/progpath.h"
#include "runtime/strings.h"
#include "tests/support/win_heap_hooks.h"

#define HYOU "\x95\x5C"            // 表 in code page 932
#define PO "\x83\x7C"              // ポ in code page 932
#define HYOU_UTF8 "\xE8\xA1\xA8"   // 表 in UTF-8

namespace {

UINT code_page;
std::string reached;  // what the hooked system call was given

UINT WINAPI hooked_acp(void) { return code_page; }

HANDLE WINAPI hooked_find_first(const char* path, WIN32_FIND_DATAA*) {
    reached = path;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI hooked_create_directory(const char* path, SECURITY_ATTRIBUTES*) {
    reached = path;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
}

// No process is made, so the shell is asked to open the path as a document.
BOOL WINAPI hooked_create_process(const char*, char*, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*,
                                  BOOL, DWORD, void*, const char*, STARTUPINFOA*,
                                  PROCESS_INFORMATION*) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI hooked_shell_execute(SHELLEXECUTEINFOA* execute) {
    reached = execute->lpDirectory ? execute->lpDirectory : "(no folder)";
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

// The hooks of one test, put back at its end.
struct Hooks {
    struct Entry {
        const char* dll;
        const char* name;
        void* hook;
        void* real;
    } entries[5] = {
        {"kernel32.dll", "GetACP", (void*)hooked_acp, 0},
        {"kernel32.dll", "FindFirstFileA", (void*)hooked_find_first, 0},
        {"kernel32.dll", "CreateDirectoryA", (void*)hooked_create_directory, 0},
        {"kernel32.dll", "CreateProcessA", (void*)hooked_create_process, 0},
        {"shell32.dll", "ShellExecuteExA", (void*)hooked_shell_execute, 0},
    };
    BYTE* base = (BYTE*)GetModuleHandleA(0);
    bool all = true;
    Hooks() {
        for (Entry& e : entries) all = hook_import(base, e.dll, e.name, e.hook, &e.real) && all;
    }
    ~Hooks() {
        void* hook;
        for (Entry& e : entries)
            if (e.real) hook_import(base, e.dll, e.name, e.real, &hook);
    }
};

enum Walk { PATH_PART, FILE_SIZE, DIR_CREATE, SHELL_FOLDER, DIR_EXAMINE };
const char* const walk_names[] = {"path_part", "file_size", "dir_create", "program_run's folder",
                                   "dir_examine"};

// path_part's result; the path file_size looks up; the folder dir_create makes; the
// folder program_run gives the shell for a document named without one; the search
// dir_examine makes.
std::string walked(Walk walk, const char* path) {
    reached = "(not reached)";
    switch (walk) {
    case PATH_PART: {
        const int32_t start = string_end;
        path_part(path, start);
        std::string part(string_buffer + start);
        string_end = start;
        return part;
    }
    case FILE_SIZE:
        file_size(path);
        break;
    case DIR_CREATE:
        dir_create(path);
        break;
    case SHELL_FOLDER:
        program_run(path, "", nullptr);
        break;
    case DIR_EXAMINE:
        dir_finish(dir_examine(-1, path, "*.jpg"));
        break;
    }
    return reached;
}

}  // namespace

TEST(CodePage, PathsAreWalkedByCharacter) {
    struct {
        Walk walk;
        UINT code_page;
        const char* path;
        const char* expected;
    } cases[] = {
        {PATH_PART, 932, "C:\\dir\\" HYOU ".txt", "C:\\dir\\"},
        {PATH_PART, 932, "C:\\" HYOU "\\x.exe", "C:\\" HYOU "\\"},
        {PATH_PART, 932, "\"C:\\a\\" PO "\\b.exe\"|C:\\c\\d", "C:\\a\\" PO "\\"},
        {PATH_PART, 932, "C:\\dir\\" HYOU, "C:\\dir\\"},
        {PATH_PART, 1252, "C:\\dir\\" HYOU ".txt", "C:\\dir\\" HYOU},
        {PATH_PART, 1252, "C:\\a\\" PO "\\b.exe", "C:\\a\\"},
        {PATH_PART, CP_UTF8, "C:\\" HYOU_UTF8 "\\x.exe", "C:\\" HYOU_UTF8 "\\"},
        {PATH_PART, CP_UTF8, "C:\\dir\\" HYOU ".txt", "C:\\dir\\" HYOU},
        {FILE_SIZE, 932, "C:\\dir\\" HYOU, "C:\\dir\\" HYOU},
        {FILE_SIZE, 932, "C:\\dir\\" HYOU "\\\\", "C:\\dir\\" HYOU},
        {FILE_SIZE, 1252, "C:\\dir\\" HYOU, "C:\\dir\\\x95"},
        {FILE_SIZE, CP_UTF8, "C:\\dir\\" HYOU_UTF8 "\\", "C:\\dir\\" HYOU_UTF8},
        {FILE_SIZE, CP_UTF8, "C:\\dir\\" HYOU, "C:\\dir\\\x95"},
        {DIR_CREATE, 932, "result\\" HYOU "\\", "result\\" HYOU},
        {DIR_CREATE, 932, "C:\\" HYOU " \\/ ", "C:\\" HYOU},
        {DIR_CREATE, 1252, "result\\" HYOU, "result\\\x95"},
        {DIR_CREATE, CP_UTF8, "result\\" HYOU_UTF8 "\\ ", "result\\" HYOU_UTF8},
        {SHELL_FOLDER, 932, "C:\\dir\\" HYOU, "C:\\dir\\"},
        {SHELL_FOLDER, 932, "C:\\" HYOU "\\x.txt", "C:\\" HYOU "\\"},
        {SHELL_FOLDER, 1252, "C:\\dir\\" HYOU, "C:\\dir\\" HYOU},
        {SHELL_FOLDER, CP_UTF8, "C:\\" HYOU_UTF8 "\\x.txt", "C:\\" HYOU_UTF8 "\\"},
        {DIR_EXAMINE, 932, "C:\\dir\\" HYOU, "C:\\dir\\" HYOU "\\*.jpg"},
    };
    Hooks hooks;
    ASSERT_TRUE(hooks.all) << "the code page answer or a path's system call cannot be hooked";
    for (auto c : cases) {
        code_page = c.code_page;
        EXPECT_EQ(walked(c.walk, c.path), c.expected)
            << walk_names[c.walk] << " in code page " << c.code_page << " of " << c.path;
    }
}
