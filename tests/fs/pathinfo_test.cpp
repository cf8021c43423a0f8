// file_size and dir_create: files, folders, drive roots, wildcards, long paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fs/pathinfo.h"
#include "tests/support/temp_folder.h"

namespace {

// A path of exactly `length` characters naming a file in folder.
std::string path_of_length(const TempFolder& folder, size_t length) {
    std::string path = folder.file("");
    return path + std::string(length - path.size(), 'n');
}

// A drive letter with no drive behind it, or 0 when every letter is taken.
char unused_drive() {
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; letter++)
        if (!(drives & (1u << (letter - 'A')))) return letter;
    return 0;
}

}  // namespace

TEST(FileSize, NothingUsableIsMinusOne) {
    TempFolder folder;
    const char* cases[] = {nullptr, "", "no such file.txt", "\\\\"};
    for (const char* path : cases) EXPECT_EQ(file_size(path), -1) << (path ? path : "(null)");
    EXPECT_EQ(file_size(folder.file("missing").c_str()), -1);
    EXPECT_EQ(file_size(folder.file("missing\\deeper.txt").c_str()), -1);
}

TEST(FileSize, FilesGiveTheirSize) {
    TempFolder folder;
    struct { const char* name; std::string content; } cases[] = {
        {"empty.txt", ""}, {"one.txt", "x"}, {"some.bin", std::string(5000, 'z')}};
    for (auto& c : cases) {
        std::string path = folder.write(c.name, c.content);
        EXPECT_EQ(file_size(path.c_str()), (int64_t)c.content.size()) << c.name;
    }
}

TEST(FileSize, FilesBeyondFourGigabytesGiveTheFullSize) {
    TempFolder folder;
    std::string path = folder.file("big.bin");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A sparse file: the size is set, no data is written.
    LARGE_INTEGER size;
    size.QuadPart = 5LL * 1024 * 1024 * 1024 + 3;
    bool grown = SetFilePointerEx(file, size, 0, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(grown);
    EXPECT_EQ(file_size(path.c_str()), size.QuadPart);
}

TEST(FileSize, FoldersAreMinusTwoWithOrWithoutTrailingBackslashes) {
    TempFolder folder;
    std::string path = folder.path();
    for (std::string tail : {"", "\\", "\\\\\\"})
        EXPECT_EQ(file_size((path + tail).c_str()), -2) << tail;
    EXPECT_EQ(file_size(".."), -2);
    // Trailing backslashes are taken off files as well.
    std::string file = folder.write("f.txt", "abc");
    EXPECT_EQ(file_size((file + "\\").c_str()), 3);
}

TEST(FileSize, DriveRootsAreMinusTwoAndMissingDrivesMinusOne) {
    EXPECT_EQ(file_size("C:"), -2);
    EXPECT_EQ(file_size("C:\\"), -2);
    char letter = unused_drive();
    if (!letter) GTEST_SKIP() << "every drive letter is taken";
    std::string root(1, letter);
    EXPECT_EQ(file_size((root + ":").c_str()), -1);
    EXPECT_EQ(file_size((root + ":\\").c_str()), -1);
}

TEST(FileSize, ADriveRelativeNameOfOneLetterIsNotLookedUp) {
    TempFolder folder;
    folder.write("x", "abcd");
    CurrentFolder here(folder.path());
    char drive = folder.path()[0];
    ASSERT_EQ(folder.path()[1], ':');
    EXPECT_EQ(file_size("x"), 4);
    EXPECT_EQ(file_size((std::string(1, drive) + ":x").c_str()), -1);
}

TEST(FileSize, WildcardsReportTheFirstMatch) {
    TempFolder folder;
    folder.write("only.dat", "123");
    folder.write("other.txt", "1234567");
    EXPECT_EQ(file_size(folder.file("*.dat").c_str()), 3);
    EXPECT_EQ(file_size(folder.file("*.none").c_str()), -1);
}

TEST(FileSize, PathsLongerThan260CharactersAreCut) {
    TempFolder folder;
    std::string exact = path_of_length(folder, 260);
    HANDLE file = CreateFileA(exact.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "the system refuses a 260-character path";
    DWORD written;
    WriteFile(file, "12345", 5, &written, 0);
    CloseHandle(file);
    EXPECT_EQ(file_size(exact.c_str()), 5);
    EXPECT_EQ(file_size((exact + "tail that is cut").c_str()), 5);
    EXPECT_EQ(file_size((exact + std::string(5000, 'q')).c_str()), 5);
}

TEST(DirCreate, CreatesTheLastFolderOnce) {
    TempFolder folder;
    std::string result = folder.file("result");
    EXPECT_NE(dir_create((result + "\\").c_str()), 0);
    EXPECT_EQ(file_size(result.c_str()), -2);
    EXPECT_EQ(dir_create((result + "\\").c_str()), 0);
    EXPECT_EQ(dir_create(result.c_str()), 0);
}

TEST(DirCreate, TrailingSpacesAndSeparatorsAreIgnored) {
    TempFolder folder;
    std::string path = folder.file("mixed");
    EXPECT_NE(dir_create((path + " \\/ /\\  ").c_str()), 0);
    EXPECT_EQ(file_size(path.c_str()), -2);
}

TEST(DirCreate, RefusesMissingParentsAndEmptyPaths) {
    TempFolder folder;
    const char* cases[] = {nullptr, "", "   ", "\\/ \\"};
    for (const char* path : cases) EXPECT_EQ(dir_create(path), 0) << (path ? path : "(null)");
    std::string deep = folder.file("missing\\child");
    EXPECT_EQ(dir_create(deep.c_str()), 0);
    EXPECT_EQ(file_size(deep.c_str()), -1);
}

TEST(DirCreate, PathsLongerThan260CharactersAreCut) {
    TempFolder folder;
    std::string overlong = path_of_length(folder, 200) + std::string(600, 'q');
    EXPECT_NE(dir_create(overlong.c_str()), 0);
    EXPECT_EQ(file_size(overlong.substr(0, 260).c_str()), -2);
    // The folder's own removal does not reach names this long.
    RemoveDirectoryA(overlong.substr(0, 260).c_str());
}
