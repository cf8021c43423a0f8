// program_filename and path_part, with the texts lying in the temporary buffer as the
// driver has them.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <string>

#include "fs/progpath.h"
#include "runtime/strings.h"

namespace {

// Restores string_end after a test built texts in the temporary buffer.
struct SavedEnd {
    SavedEnd() : start(string_end) {}
    ~SavedEnd() { string_end = start; }
    int32_t start;
};

// A read of memory the heap gave back ends the test binary at once with a failure,
// instead of waiting for a debugger.
LONG WINAPI fail_on_fault(EXCEPTION_POINTERS*) {
    fprintf(stderr, "fault: memory read after it was given back\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

std::string folder_of(const char* path) {
    SavedEnd saved;
    path_part(path, saved.start);
    std::string part(string_buffer + saved.start);
    EXPECT_EQ(string_end, saved.start + (int32_t)part.size());
    return part;
}

}  // namespace

TEST(ProgramFilename, IsTheRunningProgramsPath) {
    char expected[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, expected, sizeof expected);
    ASSERT_GT(length, 0u);
    SavedEnd saved;
    str_concat("prefix ");
    int32_t pos = string_end;
    program_filename(pos);
    EXPECT_STREQ(string_buffer + pos, expected);
    EXPECT_EQ(string_end, pos + (int32_t)length);
    EXPECT_EQ(std::string(string_buffer + saved.start, 7), "prefix ");
}

TEST(PathPart, KeepsTheFolderWithItsLastSeparator) {
    struct { const char* path; const char* part; } cases[] = {
        {"C:\\dir\\sub\\file.txt", "C:\\dir\\sub\\"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"file.txt", ""},
        {"", ""},
        {nullptr, ""},
        {"\\", "\\"},
        {"\"C:\\dir\\file.txt\"", "C:\\dir\\"},
        {"\"file.txt\"", ""},
        {"C:\\a\\b.exe|C:\\c\\d", "C:\\a\\"},
        {"name|C:\\c\\d", ""},
        {"dir/sub/file", "dir/sub/"},
        {"C:\\mixed/sep\\x", "C:\\mixed/sep\\"},
    };
    for (auto c : cases) EXPECT_EQ(folder_of(c.path), c.part) << (c.path ? c.path : "(null)");
}

TEST(PathPart, WritesOverItsOwnPathInTheBuffer) {
    struct { const char* path; const char* part; } cases[] = {
        {"C:\\programs\\Vantorel.exe", "C:\\programs\\"},
        {"\"C:\\quoted\\x.exe\"", "C:\\quoted\\"},
        {"plain", ""},
    };
    for (auto c : cases) {
        SavedEnd saved;
        str_concat(c.path);
        path_part(string_buffer + saved.start, saved.start);
        EXPECT_STREQ(string_buffer + saved.start, c.part) << c.path;
        EXPECT_EQ(string_end, saved.start + (int32_t)strlen(c.part)) << c.path;
    }
}

TEST(PathPart, ReadsItsPathAfterTheBufferHasGrown) {
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(fail_on_fault);
    SavedEnd saved;
    // A path longer than the buffer's headroom after it has been added, so that
    // reserving room for the result grows the buffer again; at this size the heap
    // moves it to fresh pages and returns the old ones, so a stale read faults.
    std::string path;
    while ((int32_t)path.size() < string_capacity + 600000) path += "folder\\";
    path += "file.txt";
    str_concat(path.c_str());
    string_end++;
    int32_t capacity = string_capacity;
    path_part(string_buffer + saved.start, string_end);
    ASSERT_GT(string_capacity, capacity) << "the buffer did not grow";
    EXPECT_EQ(std::string(string_buffer + saved.start + path.size() + 1),
              path.substr(0, path.size() - 8));
    SetUnhandledExceptionFilter(previous);
}

TEST(PathPart, TheDriversExpressionGivesTheNoteBesideTheProgram) {
    SavedEnd saved;
    program_filename(saved.start);
    path_part(string_buffer + saved.start, saved.start);
    str_concat("readme.txt");
    char expected[MAX_PATH];
    GetModuleFileNameA(0, expected, sizeof expected);
    strcpy(strrchr(expected, '\\') + 1, "readme.txt");
    EXPECT_STREQ(string_buffer + saved.start, expected);
}
